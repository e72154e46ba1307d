#include "platform/win32/Text.h"

#include <windows.h>

#include <limits>
#include <stdexcept>

namespace platform::win32 {

namespace {

int checkedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw std::length_error("text too long to convert");
    return static_cast<int>(size);
}

// Explicit lengths throughout: with them the conversions neither stop at nor
// append a NUL, so embedded NULs survive.
std::wstring toWide(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int length = checkedLength(text.size());
    const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string fromWide(UINT codePage, std::wstring_view wide) {
    if (wide.empty()) return {};
    const int length = checkedLength(wide.size());
    const int needed =
        ::WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), length, text.data(), needed, nullptr, nullptr);
    return text;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    return toWide(CP_UTF8, utf8);
}
std::string Narrow(std::wstring_view wide) {
    return fromWide(CP_UTF8, wide);
}
std::string AnsiToUtf8(std::string_view ansi) {
    return Narrow(toWide(CP_ACP, ansi));
}
std::string Utf8ToAnsi(std::string_view utf8) {
    return fromWide(CP_ACP, Widen(utf8));
}

}  // namespace platform::win32
