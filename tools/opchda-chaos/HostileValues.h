#pragma once
// The pieces the chaos server builds its answers from: result codes, times, names and values
// of every type the wire carries, each drawn from the seed. Values are made the way the
// standard says outputs are made (BSTRs with SysAlloc*, arrays with SafeArrayCreate), so that
// the stub frees them after sending.
#include <cstdint>
#include <string>

#include <oaidl.h>

#include "Chaos.h"

namespace kesti::chaos {

constexpr HRESULT kMaxExceeded = static_cast<HRESULT>(0xC0041001);
constexpr HRESULT kNoData = 0x40041002;
constexpr HRESULT kMoreData = 0x40041003;
constexpr HRESULT kInvalidHandle = static_cast<HRESULT>(0xC0040001);
constexpr HRESULT kUnknownItemId = static_cast<HRESULT>(0xC0040007);
constexpr uint64_t kTicksPerSecond = 10000000;

// A failure a server might refuse a call with.
HRESULT RefusalCode(Chaos& chaos);
// Any code a per-item result might hold: success, warning or failure, OPC's or not.
HRESULT ItemCode(Chaos& chaos);
// A success code other than S_OK, or S_OK.
HRESULT SuccessCode(Chaos& chaos);

FILETIME Time(uint64_t ticks);
uint64_t Ticks(const FILETIME& time);
// A time far from anything asked: 1601, the end of FILETIME, years away, or random bits.
uint64_t WildTicks(Chaos& chaos, std::string& what);

// How the values of one item in one answer are made; the kind is drawn once per item.
enum class ValueKind { Double, Scalar, Text, HugeText, Array, Mixed, WireRefused };
ValueKind DrawValueKind(Chaos& chaos);
const char* KindName(ValueKind kind);
// Fills an empty VARIANT with a value of that kind.
void MakeValue(Chaos& chaos, ValueKind kind, double plain, VARIANT& value);

// A name for a list of leaves or branches: mostly "T<index>", sometimes empty, with control
// characters, separators, lone surrogates or tens of thousands of characters.
std::wstring Name(Chaos& chaos, const wchar_t* prefix, uint64_t index, std::string& what);

} // namespace kesti::chaos
