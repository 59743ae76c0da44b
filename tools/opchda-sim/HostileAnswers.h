#pragma once
// The "hostile answers" mode: answers that are legal on the wire but careless or hostile,
// chosen by a seeded generator, so that a client's tests can replay a run: NULL arrays
// behind a count, times out of order, repeated, in 1601 or far in the future, values of types
// a reader does not expect (interfaces, arrays of texts, two-dimensional and empty arrays,
// arrays whose VARIANT type names other elements than they hold,
// odd lower bounds, texts of megabytes, NULL texts, NaN and infinities, integer extremes),
// more values promised for ever, failing item codes under S_OK and S_FALSE without codes,
// refused calls, handles that are zero or repeated, and delays; in browsing, names with
// control characters, empty or very long names, thousands of extra names, enumerators and item
// ids missing behind a success.
#include <random>
#include <string>
#include <vector>

#include <oaidl.h>

#include "opchda.h"

namespace kesti::sim {

class HostileAnswers {
public:
    explicit HostileAnswers(unsigned seed) : random_(seed) {}

    // Spoils a ReadRaw answer in place (the arrays are the server's task memory); gives the
    // call's result.
    HRESULT SpoilRead(OPCHDA_ITEM* items, HRESULT*& errors, DWORD count, HRESULT result);
    // Spoils the handles of a GetItemHandles answer.
    void SpoilHandles(OPCHANDLE* handles, DWORD count);
    // Spoils the codes of a write; gives the call's result.
    HRESULT SpoilWrite(HRESULT*& errors, DWORD count, HRESULT result);
    // GetHistorianStatus refused, or answering that there is no maximum of values per call
    // while the server keeps one.
    enum class StatusSpoil { None, Refuse, HideMaximum };
    StatusSpoil SpoilStatus();
    // Whether a call fails as a whole, and how long it waits first (now and then seconds).
    HRESULT RefusedCall();
    void Delay();
    // Spoils a list of names a browser is about to enumerate.
    void SpoilNames(std::vector<std::wstring>& names);
    // Whether a GetEnum or GetItemID answers S_OK without its out-parameter.
    bool DropsOutParameter() { return Chance(3); }

private:
    bool Chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(random_) < percent; }
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    void SpoilItem(OPCHDA_ITEM& item, HRESULT& error);
    void SpoilTimes(OPCHDA_ITEM& item);
    void SpoilValue(VARIANT& value);

    std::mt19937 random_;
};

} // namespace kesti::sim
