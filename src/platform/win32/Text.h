#pragma once

#include <string>
#include <string_view>

// Text conversions at the Win32 boundary. The program's texts are UTF-8; the
// W APIs take UTF-16 and the A APIs the ANSI code page.
namespace platform::win32 {

// UTF-8 to UTF-16. Invalid sequences become U+FFFD; embedded NULs are kept.
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD; embedded NULs are kept.
std::string Narrow(std::wstring_view wide);

// Text of the ANSI code page (CP_ACP) to UTF-8 and back, NULs kept.
// Characters the code page lacks become its default character.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace platform::win32
