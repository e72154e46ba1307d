#include "app/StartUp.h"

namespace app {

namespace {

// The log's path after "/LOG=", quotes taken off; empty when it is not one.
std::string LogPath(std::string_view text) {
    if (!text.starts_with('"')) return text.find('"') == text.npos ? std::string(text) : "";
    if (text.size() < 2 || !text.ends_with('"')) return {};
    text = text.substr(1, text.size() - 2);
    return text.find('"') == text.npos ? std::string(text) : "";
}

}  // namespace

StartUp ParseStartUp(std::string_view arguments) {
    const auto first = arguments.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = arguments.find_last_not_of(' ');
    const std::string_view trimmed = arguments.substr(first, last - first + 1);
    if (trimmed == "/S" || trimmed == "/s") return {StartUp::Mode::Unattended, {}, {}};
    if (trimmed.starts_with("/S /LOG=") || trimmed.starts_with("/s /LOG=")) {
        std::string log = LogPath(trimmed.substr(8));
        if (!log.empty()) return {StartUp::Mode::Unattended, {}, std::move(log)};
        return {};
    }
    if (!trimmed.starts_with("/!")) return {};
    return {StartUp::Mode::Cleanup, std::string(trimmed.substr(2)), {}};
}

}  // namespace app
