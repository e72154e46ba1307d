#include "platform/win32/Win32UserInterface.h"

#include "platform/win32/Text.h"

namespace platform::win32 {

namespace {
constexpr std::string_view kApplicationTitle = "Atualizador";
}

int Win32UserInterface::messageBox(std::string_view text, int style, std::string_view title) {
    const std::wstring wideText = Widen(text);
    const std::wstring wideTitle = Widen(title.empty() ? kApplicationTitle : title);
    const int answer =
        ::MessageBoxW(owner_, wideText.c_str(), wideTitle.c_str(), static_cast<UINT>(style));
    // A box that could not be shown has no answer: 0, which no caller takes
    // for an OK, a Yes or a Retry.
    return answer > 0 ? answer : 0;
}

void Win32UserInterface::endProgram() {
    ::ExitProcess(0);
}

}  // namespace platform::win32
