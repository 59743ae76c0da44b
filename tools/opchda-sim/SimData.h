#pragma once
// The simulation server's address space and history, loaded from a JSON data file.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <oaidl.h>

#include "RelativeTime.h"

#include "platform/ComMemory.h"

namespace kesti::sim {

// A VARIANT held by value: copies are deep, the value is cleared with its owner.
class Variant {
public:
    Variant() = default;
    Variant(const Variant& other) { VariantCopy(value_.Get(), const_cast<VARIANT*>(other.value_.Get())); }
    Variant& operator=(const Variant& other) {
        if (this != &other) VariantCopy(value_.Get(), const_cast<VARIANT*>(other.value_.Get()));
        return *this;
    }
    Variant(Variant&&) noexcept = default;
    Variant& operator=(Variant&&) noexcept = default;

    VARIANT* Get() { return value_.Get(); }
    const VARIANT* Get() const { return value_.Get(); }

private:
    platform::UniqueVariant value_;
};

struct Sample {
    Ticks time;
    DWORD quality;
    Variant value;
};

// A series of `count` values `step` apart from `first`, computed when asked: a year of
// one-second values costs no memory while no client writes into it.
struct GeneratedSeries {
    std::string kind = "sine"; // "sine", "ramp" or "step"
    Ticks first = 0, step = 1;
    std::size_t count = 0;
    double amplitude = 1, offset = 0, period = 60, stepSize = 1;
    VARTYPE type = VT_R8;

    double ValueAt(std::size_t i) const;
    // Value i as a VARIANT of the series' type.
    void ValueInto(std::size_t i, VARIANT& out) const;
};

struct Item {
    std::wstring name;
    std::wstring id;
    VARTYPE type = VT_R8;
    std::wstring description;
    std::vector<Sample> history; // ascending by time (one value per time unless repeated times are kept)
    std::optional<GeneratedSeries> generated; // the whole history while set: nothing is stored beside it
    // Faults of this item.
    HRESULT handleError = S_OK;
    DWORD handleValue = 0; // the handle given with a handle error
    HRESULT readError = S_OK;
    HRESULT writeError = S_OK;
    HRESULT releaseError = S_OK;
    bool itemIdFails = false;
    Ticks maxInterval = 0; // 0: no limit; a longer ReadRaw interval gives OPC_E_MAXEXCEEDED for the item
};

struct Branch {
    std::wstring name;
    std::wstring id;
    std::wstring linkTarget;   // non-empty: only a name that leads to the branch of this id
    std::vector<std::unique_ptr<Branch>> branches;
    std::vector<std::size_t> items; // indices into SimData::items
    bool noDirect = false;     // ChangeBrowsePosition(DIRECT) to it fails
    bool itemIdFails = false;  // GetItemID of its name fails
    HRESULT enumFails = S_OK;  // IEnumString::Next fails ...
    unsigned enumFailsAfter = 0; // ... after this many names
    const Branch* parent = nullptr;
};

// A fault of one call of a method, counted from 1 in the server's process: the call fails
// with `result`, or returns no values for any item (`empty`), or fails each item with
// `itemError`.
struct CallFault {
    unsigned call = 0;
    HRESULT result = S_OK;
    bool empty = false;
    HRESULT itemError = S_OK;
    std::string nullArray; // "times", "qualities" or "values": that array of each item is NULL, its count kept
};

struct ServerOptions {
    bool keepRepeatedTimes = false; // values of one time all stay, in file order; else the last one
    std::optional<unsigned> hostileSeed; // answers spoiled as HostileAnswers does, from this seed
    std::string backwardReads = "answer"; // "fail": E_INVALIDARG; "outside": the value at or before the end
    DWORD maxValuesPerCall = 0; // 0: no limit
    bool qualifiedBrowseNames = true;
    bool directAcceptsNames = false;
    std::set<std::string> missingInterfaces;
    std::map<std::string, HRESULT> failCalls;
    std::set<std::string> sFalseWithoutErrors;
    std::map<std::string, DWORD> delayMs;
    std::map<std::string, CallFault> faultOnCall;
    Ticks maxInterval = 0; // 0: no limit; a longer ReadRaw interval gives E_OUTOFMEMORY
    bool storeEmptyWrites = false; // a written VT_EMPTY is stored (as some servers do), else refused
    std::wstring vendorInfo = L"OpcHDAKesti simulation server";
};

struct SimData {
    ServerOptions options;
    Branch root;
    std::vector<Item> items;
    std::map<std::wstring, std::size_t> itemById;
    std::map<std::wstring, const Branch*> branchById;
    Ticks loadedAt = 0;
};

// A data file that cannot be used: the message names the file, the place and the problem.
class DataFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Turns a generated history into stored values, before a write changes it.
void StoreGenerated(Item& item, bool keepRepeatedTimes);

// Loads a data file, then replays over it what clients wrote before (`writesFile`, when given
// and present; see WrittenValueRecord).
std::unique_ptr<SimData> LoadSimData(const std::wstring& path, const std::wstring& writesFile = L"");

// The lines of the writes file, one JSON object each: a value a client wrote to the item, and
// a deletion of the item's values from `from` up to (not including) `to`.
std::string WrittenValueRecord(const std::wstring& itemId, const Sample& written);
std::string DeletionRecord(const std::wstring& itemId, Ticks from, Ticks to);

} // namespace kesti::sim
