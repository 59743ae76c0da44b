#pragma once
// The texts that the OPC HDA client writes to the log: quality words, request times and values.
#include <cstddef>
#include <string>

#include <windows.h>

#include "opchda.h"

namespace kesti {

// The names of the present OPC HDA flags, each followed by "|", then the quality class.
std::string QualityText(DWORD quality);
// A labelled dump of an OPCHDA_TIME over several lines.
std::string DumpOpcHdaTime(const std::string& label, const OPCHDA_TIME& time);
// "{ vt: 5, value: "12.5" }": the value as invariant text, or null.
// At most kLoggedValueCharacters characters of its text, then "... (N bytes)" with the size of
// the whole text (UTF-16).
std::string DumpVariant(const VARIANT& value);
constexpr std::size_t kLoggedValueCharacters = 1024;

} // namespace kesti
