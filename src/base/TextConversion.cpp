#include "base/TextConversion.h"

#include <cwchar>

#include <boost/locale/encoding_utf.hpp>

#include <windows.h>

namespace kesti {

std::string Utf8FromWide(const wchar_t* text) {
    if (text == nullptr) return {};
    return boost::locale::conv::utf_to_utf<char>(text, text + std::wcslen(text), boost::locale::conv::skip);
}

std::string Utf8FromWide(const std::wstring& text) {
    return boost::locale::conv::utf_to_utf<char>(text, boost::locale::conv::skip);
}

std::wstring WideFromUtf8(const std::string& text) {
    return boost::locale::conv::utf_to_utf<wchar_t>(text, boost::locale::conv::skip);
}

std::string AnsiFromWide(const wchar_t* text, std::size_t length) {
    if (text == nullptr || length == 0) return {};
    const int wideLength = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_ACP, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, text, wideLength, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

std::string AnsiFromWide(const std::wstring& text) { return AnsiFromWide(text.data(), text.size()); }

std::wstring WideFromAnsi(const std::string& text) {
    if (text.empty()) return {};
    const int narrowLength = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLength, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLength, &wide[0], size);
    return wide;
}

} // namespace kesti
