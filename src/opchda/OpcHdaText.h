#pragma once
// The texts that the OPC HDA client writes to the log: quality words, request times and values.
#include <string>

#include <windows.h>

#include "opchda.h"

namespace kesti {

// The names of the present OPC HDA flags, each followed by "|", then the quality class.
std::string QualityText(DWORD quality);
// A labelled dump of an OPCHDA_TIME over several lines.
std::string DumpOpcHdaTime(const std::string& label, const OPCHDA_TIME& time);
// "{ vt: 5, value: "12.5" }": the value as invariant text, or null.
std::string DumpVariant(const VARIANT& value);

} // namespace kesti
