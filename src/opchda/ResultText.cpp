#include "opchda/ResultText.h"

#include <boost/format.hpp>

#include "opchda/OpcHdaConstants.h"
#include "opchda/TextConversion.h"
#include "opchda/TimeConversion.h"
#include "platform/ComMemory.h"

namespace kesti {
namespace {

// A message buffer of FormatMessage, freed with LocalFree.
struct LocalText {
    wchar_t* text = nullptr;
    ~LocalText() { LocalFree(text); }
};

// The system's message without its trailing line end; false when there is none.
bool LookUpSystemMessage(HRESULT result, std::wstring& message) {
    LocalText buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(result), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer.text),
        0, nullptr);
    if (length == 0 || buffer.text == nullptr) return false;
    message.assign(buffer.text, length);
    if (message.size() >= 2 && message.back() == L'\n') {
        message.pop_back();
        if (message.size() >= 2 && message.back() == L'\r') message.pop_back();
    }
    return true;
}

} // namespace

std::string HResultText(HRESULT result) {
    std::string message;
    std::wstring system;
    if (result == S_FALSE)
        message = "Success";
    else if (LookUpSystemMessage(result, system))
        message = Utf8FromWide(system);
    else
        message = FAILED(result) ? "Error" : "Success";
    return (boost::format("%s (0x%08x)") % message % static_cast<unsigned long>(static_cast<DWORD>(result))).str();
}

std::string SystemMessageText(HRESULT result) {
    std::wstring system;
    return LookUpSystemMessage(result, system) ? Utf8FromWide(system) : std::string();
}

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

std::string DumpVariant(const VARIANT& value) {
    platform::UniqueVariant text;
    std::string shown = "null";
    if (SUCCEEDED(VariantChangeTypeEx(text.Get(), const_cast<VARIANT*>(&value), LOCALE_INVARIANT, VARIANT_NOUSEROVERRIDE, VT_BSTR)) &&
        V_VT(text.Get()) == VT_BSTR && V_BSTR(text.Get()) != nullptr)
        shown = "\"" + Utf8FromWide(V_BSTR(text.Get())) + "\"";
    return (boost::format("{ vt: %1%, value: %2% }") % static_cast<unsigned>(V_VT(&value)) % shown).str();
}

} // namespace kesti
