// Stands in for the product's remover in the end-to-end tests and the demonstration: leaves its
// whole command line, in UTF-8, in "removedor-ran.txt" beside itself, and shows a box saying so
// when a person is watching (DEMO_INTERACTIVE=1). It loads the theme library by name, as a
// program with themed windows does, with the default DLL search: the road test's proof that the
// bench prefers DLLs planted beside a program.
#include <windows.h>

#include <string>

#include "platform/win32/Text.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    LoadLibraryW(L"uxtheme.dll");
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring marker(self, length);
    marker.resize(marker.find_last_of(L'\\') + 1);
    marker += L"removedor-ran.txt";

    const std::string utf8 = platform::win32::Narrow(GetCommandLineW());
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);

    wchar_t interactive[8] = {};
    if (GetEnvironmentVariableW(L"DEMO_INTERACTIVE", interactive, 8) && interactive[0] == L'1') {
        const std::wstring text = L"O Removedor do Varnel foi iniciado com o argumento \"" +
                                  std::wstring(arguments) + L"\".";
        MessageBoxW(nullptr, text.c_str(), L"Removedor (demonstração)", MB_ICONINFORMATION);
    }
    return ok ? 0 : 1;
}
