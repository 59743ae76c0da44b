#include "opchda/OpcHdaText.h"

#include <string_view>

#include <boost/format.hpp>

#include "base/TextConversion.h"
#include "base/TimeConversion.h"
#include "opchda/OpcHdaConstants.h"
#include "platform/ComMemory.h"

namespace kesti {

std::string QualityText(DWORD quality) {
    static const struct {
        DWORD flag;
        const char* name;
    } kFlags[] = {{opc::kExtraData, "EXTRADATA|"},   {opc::kInterpolated, "INTERPOLATED|"},
                  {opc::kRaw, "RAW|"},               {opc::kCalculated, "CALCULATED|"},
                  {opc::kNoBound, "NOBOUND|"},       {opc::kNoData, "NODATA|"},
                  {opc::kDataLost, "DATALOST|"},     {opc::kConversion, "CONVERSION|"},
                  {opc::kPartial, "PARTIAL|"}};
    std::string text;
    for (const auto& f : kFlags)
        if (quality & f.flag) text += f.name;
    switch (quality & opc::kQualityMask) {
    case opc::kQualityBad: return text + "BAD";
    case opc::kQualityUncertain: return text + "UNCERTAIN";
    case opc::kQualityUnknownClass: return text + "UNKNOWN";
    default: return text + "GOOD";
    }
}

std::string DumpOpcHdaTime(const std::string& label, const OPCHDA_TIME& time) {
    const std::uint64_t number = (static_cast<std::uint64_t>(time.ftTime.dwHighDateTime) << 32) | time.ftTime.dwLowDateTime;
    const std::string szTime = time.szTime == nullptr ? "null" : "\"" + Utf8FromWide(time.szTime) + "\"";
    const std::string representation = number == 0 ? "null" : "\"" + FileTimeText(time.ftTime) + "\"";
    return (boost::format("%1%: {\n   bString: %2%\n   szTime: %3%\n   ftTime: { number: %4%, representation: %5% }\n}") %
            label % (time.bString ? "true" : "false") % szTime % number % representation)
        .str();
}

namespace {

// The types whose text OLEAUT32 makes from the VARIANT alone. An interface would be asked for
// its value (a call into the server's process), and arrays and references have no text.
bool HasPlainText(VARTYPE type) {
    switch (type) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT: case VT_R4: case VT_R8:
    case VT_CY: case VT_DATE: case VT_BSTR: case VT_BOOL: case VT_DECIMAL: case VT_ERROR:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string DumpVariant(const VARIANT& value) {
    platform::UniqueVariant text;
    std::string shown = "null";
    if (HasPlainText(V_VT(&value)) && SUCCEEDED(VariantChangeTypeEx(text.Get(), const_cast<VARIANT*>(&value), LOCALE_INVARIANT, VARIANT_NOUSEROVERRIDE, VT_BSTR)) &&
        V_VT(text.Get()) == VT_BSTR && V_BSTR(text.Get()) != nullptr) {
        // A value's text in a record is cut, so that no record can outgrow the log's size.
        const std::wstring_view whole(V_BSTR(text.Get()), SysStringLen(V_BSTR(text.Get())));
        const bool cut = whole.size() > kLoggedValueCharacters;
        std::size_t kept = cut ? kLoggedValueCharacters : whole.size();
        if (cut && whole[kept - 1] >= 0xD800 && whole[kept - 1] <= 0xDBFF) --kept; // not half a surrogate pair
        shown = "\"" + Utf8FromWide(std::wstring(whole.substr(0, kept))) + "\"";
        if (cut) shown += (boost::format("... (%1% bytes)") % SysStringByteLen(V_BSTR(text.Get()))).str();
    }
    return (boost::format("{ vt: %1%, value: %2% }") % static_cast<unsigned>(V_VT(&value)) % shown).str();
}

} // namespace kesti
