#include "platform/win32/Win32UserInterface.h"

#include "platform/SystemError.h"
#include "platform/win32/Text.h"

namespace platform::win32 {

namespace {
constexpr std::string_view kApplicationTitle = "Atualizador";
}

int Win32UserInterface::messageBox(std::string_view text, int style, std::string_view title) {
    const std::wstring wideText = Widen(text);
    const std::wstring wideTitle = Widen(title.empty() ? kApplicationTitle : title);
    // The windows have no title bar and may sit behind another program's;
    // the box must come to the front to be seen at all.
    const int answer = ::MessageBoxW(owner_, wideText.c_str(), wideTitle.c_str(),
                                     static_cast<UINT>(style) | MB_SETFOREGROUND);
    // A box that could not be shown has no answer; inventing one would act
    // on a choice the user never made.
    if (answer == 0) throw SystemError("Não foi possível mostrar uma mensagem", ::GetLastError());
    return answer;
}

void Win32UserInterface::endProgram() {
    ::ExitProcess(0);
}

}  // namespace platform::win32
