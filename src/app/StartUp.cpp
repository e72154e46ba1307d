#include "app/StartUp.h"

namespace app {

StartUp ParseStartUp(std::string_view arguments) {
    const auto first = arguments.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = arguments.find_last_not_of(' ');
    const std::string_view trimmed = arguments.substr(first, last - first + 1);
    if (!trimmed.starts_with("/!")) return {};
    return {StartUp::Mode::Cleanup, std::string(trimmed.substr(2))};
}

}  // namespace app
