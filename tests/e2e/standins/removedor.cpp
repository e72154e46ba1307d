// Stands in for the product's remover in the demonstration: notes that it
// ran, with its command line, in "removedor-ran.txt" beside itself, and shows
// a box saying so when a person is watching (DEMO_INTERACTIVE=1).
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring marker(self, length);
    marker.resize(marker.find_last_of(L'\\') + 1);
    marker += L"removedor-ran.txt";

    const std::wstring line = GetCommandLineW();
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
                  nullptr);
        CloseHandle(file);
    }

    wchar_t interactive[8] = {};
    if (GetEnvironmentVariableW(L"DEMO_INTERACTIVE", interactive, 8) && interactive[0] == L'1') {
        const std::wstring text = L"O Removedor do Varnel foi iniciado com o argumento \"" +
                                  std::wstring(arguments) + L"\".";
        MessageBoxW(nullptr, text.c_str(), L"Removedor (demonstração)", MB_ICONINFORMATION);
    }
    return 0;
}
