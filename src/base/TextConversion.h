#pragma once
// Conversions between the plug-in's narrow texts and COM's UTF-16 strings.
#include <string>

namespace kesti {

// UTF-16 to UTF-8 and back; invalid sequences are skipped, never a failure.
std::string Utf8FromWide(const wchar_t* text);
std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);

// The process's ANSI code page (text values, host names, credentials); characters that the
// code page cannot show are replaced the system's way.
std::string AnsiFromWide(const wchar_t* text, std::size_t length);
std::string AnsiFromWide(const std::wstring& text);
std::wstring WideFromAnsi(const std::string& text);

} // namespace kesti
