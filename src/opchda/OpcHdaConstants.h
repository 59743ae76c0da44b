#pragma once
// Constants of the OPC HDA 1.20 standard and of the OPC common error set that the client uses.
#include <windows.h>

namespace kesti::opc {

// Quality flags of the upper word; the low byte is the Data Access quality.
constexpr DWORD kExtraData = 0x00010000;
constexpr DWORD kInterpolated = 0x00020000;
constexpr DWORD kRaw = 0x00040000;
constexpr DWORD kCalculated = 0x00080000;
constexpr DWORD kNoBound = 0x00100000;
constexpr DWORD kNoData = 0x00200000;
constexpr DWORD kDataLost = 0x00400000;
constexpr DWORD kConversion = 0x00800000;
constexpr DWORD kPartial = 0x01000000;

// Data Access quality classes (bits 0xC0).
constexpr DWORD kQualityMask = 0xC0;
constexpr DWORD kQualityBad = 0x00;
constexpr DWORD kQualityUncertain = 0x40;
constexpr DWORD kQualityUnknownClass = 0x80;
constexpr DWORD kQualityGood = 0xC0;

// OPC HDA result codes.
constexpr HRESULT kMaxExceeded = static_cast<HRESULT>(0xC0041001);
constexpr HRESULT kNoDataResult = static_cast<HRESULT>(0x40041002);
constexpr HRESULT kMoreData = static_cast<HRESULT>(0x40041003);
constexpr HRESULT kInvalidAggregate = static_cast<HRESULT>(0xC0041004);
constexpr HRESULT kCurrentValue = static_cast<HRESULT>(0x40041005);
constexpr HRESULT kExtraDataResult = static_cast<HRESULT>(0x40041006);
constexpr HRESULT kNoFilter = static_cast<HRESULT>(0x80041007);
constexpr HRESULT kUnknownAttrId = static_cast<HRESULT>(0xC0041008);
constexpr HRESULT kNotAvail = static_cast<HRESULT>(0xC0041009);
constexpr HRESULT kInvalidDataType = static_cast<HRESULT>(0xC004100A);
constexpr HRESULT kDataExists = static_cast<HRESULT>(0xC004100B);
constexpr HRESULT kInvalidAttrId = static_cast<HRESULT>(0xC004100C);
constexpr HRESULT kNoDataExists = static_cast<HRESULT>(0xC004100D);
constexpr HRESULT kInserted = static_cast<HRESULT>(0x4004100E);
constexpr HRESULT kReplaced = static_cast<HRESULT>(0x4004100F);

// From the common (Data Access) error set.
constexpr HRESULT kInvalidHandle = static_cast<HRESULT>(0xC0040001);
constexpr HRESULT kUnknownItemId = static_cast<HRESULT>(0xC0040007);
constexpr HRESULT kInvalidItemId = static_cast<HRESULT>(0xC0040008);

} // namespace kesti::opc
