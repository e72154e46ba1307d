// A small window for the UI driver's own tests: controls nested in a panel,
// a check box, a disabled button, a button that asks through a message box,
// and a panel that reports mouse presses. Ends with exit code 3 on "Sair".
#include <windows.h>

#include <string>

namespace {

constexpr int kPanel = 100, kGo = 101, kCheck = 102, kLabel = 103, kAsk = 104, kOff = 105,
              kQuit = 106;
HWND label = nullptr;

LRESULT CALLBACK panelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:  // buttons report to their parent: pass it on
            return SendMessageW(GetParent(panel), message, wParam, lParam);
        case WM_RBUTTONDOWN: {
            const std::wstring text = L"direito " + std::to_wstring(LOWORD(lParam)) + L"," +
                                      std::to_wstring(HIWORD(lParam));
            SetWindowTextW(label, text.c_str());
            return 0;
        }
    }
    return DefWindowProcW(panel, message, wParam, lParam);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
            case kAsk: {
                const int answer = MessageBoxW(window, L"Deseja continuar?", L"Pergunta",
                                               MB_YESNO | MB_ICONQUESTION);
                SetWindowTextW(label, answer == IDYES ? L"Sim" : L"Não");
                return 0;
            }
            case kQuit:
                PostQuitMessage(3);
                return 0;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
           HWND parent, int id) {
    return CreateWindowW(cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW windowClass{};
    windowClass.hInstance = instance;
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpfnWndProc = windowProc;
    windowClass.lpszClassName = L"UidriverTestWindow";
    RegisterClassW(&windowClass);
    windowClass.lpfnWndProc = panelProc;
    windowClass.lpszClassName = L"UidriverTestPanel";
    RegisterClassW(&windowClass);

    HWND window = CreateWindowW(L"UidriverTestWindow", L"Janela de ensaio", WS_POPUP | WS_BORDER,
                                100, 100, 300, 200, nullptr, nullptr, instance, nullptr);
    HWND panel = child(L"UidriverTestPanel", L"", 0, 10, 10, 280, 150, window, kPanel);
    child(L"BUTTON", L"Prosseguir", BS_PUSHBUTTON, 10, 10, 100, 24, panel, kGo);
    child(L"BUTTON", L"Iniciar o removedor", BS_AUTOCHECKBOX, 10, 40, 160, 20, panel, kCheck);
    label = child(L"STATIC", L"Versão instalada", 0, 10, 70, 200, 20, panel, kLabel);
    child(L"BUTTON", L"Perguntar", BS_PUSHBUTTON, 10, 100, 100, 24, panel, kAsk);
    EnableWindow(child(L"BUTTON", L"Desligado", BS_PUSHBUTTON, 120, 100, 100, 24, panel, kOff),
                 FALSE);
    child(L"BUTTON", L"Sair", BS_PUSHBUTTON, 200, 165, 80, 24, window, kQuit);
    ShowWindow(window, SW_SHOW);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
