#pragma once
// The simulated OPC HDA server: IOPCHDA_Server, IOPCHDA_SyncRead and IOPCHDA_SyncUpdate over
// the history of a data file. What clients write and delete is also appended to the writes
// file, which later activations replay.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "ComServerHost.h"
#include "Journal.h"
#include "HostileAnswers.h"
#include "SimData.h"
#include "opchda.h"

namespace kesti::sim {

class HistorianServer : public IOPCHDA_Server,
                        public IOPCHDA_SyncRead,
                        public IOPCHDA_SyncUpdate,
                        public tools::ComObjectBase {
public:
    HistorianServer(std::shared_ptr<SimData> data, std::shared_ptr<const Journal> journal, Journal writes);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    KESTI_COM_REFCOUNT

    // IOPCHDA_Server
    HRESULT STDMETHODCALLTYPE GetItemAttributes(DWORD* count, DWORD** ids, LPWSTR** names, LPWSTR** descriptions,
                                                VARTYPE** types) override;
    HRESULT STDMETHODCALLTYPE GetAggregates(DWORD* count, DWORD** ids, LPWSTR** names, LPWSTR** descriptions) override;
    HRESULT STDMETHODCALLTYPE GetHistorianStatus(OPCHDA_SERVERSTATUS* status, FILETIME** currentTime,
                                                 FILETIME** startTime, WORD* major, WORD* minor, WORD* build,
                                                 DWORD* maxReturnValues, LPWSTR* statusText,
                                                 LPWSTR* vendorInfo) override;
    HRESULT STDMETHODCALLTYPE GetItemHandles(DWORD count, LPWSTR* itemIds, OPCHANDLE* clientHandles,
                                             OPCHANDLE** serverHandles, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE ReleaseItemHandles(DWORD count, OPCHANDLE* serverHandles, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE ValidateItemIDs(DWORD count, LPWSTR* itemIds, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE CreateBrowse(DWORD count, DWORD* attributeIds, OPCHDA_OPERATORCODES* operators,
                                           VARIANT* filters, IOPCHDA_Browser** browser, HRESULT** errors) override;

    // IOPCHDA_SyncRead
    HRESULT STDMETHODCALLTYPE ReadRaw(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, BOOL bounds,
                                      DWORD numItems, OPCHANDLE* serverHandles, OPCHDA_ITEM** items,
                                      HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE ReadProcessed(OPCHDA_TIME* start, OPCHDA_TIME* end, FILETIME resampleInterval,
                                            DWORD numItems, OPCHANDLE* serverHandles, DWORD* aggregates,
                                            OPCHDA_ITEM** items, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE ReadAtTime(DWORD numTimes, FILETIME* times, DWORD numItems, OPCHANDLE* serverHandles,
                                         OPCHDA_ITEM** items, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE ReadModified(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, DWORD numItems,
                                           OPCHANDLE* serverHandles, OPCHDA_MODIFIEDITEM** items,
                                           HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE ReadAttribute(OPCHDA_TIME* start, OPCHDA_TIME* end, OPCHANDLE serverHandle,
                                            DWORD numAttributes, DWORD* attributeIds, OPCHDA_ATTRIBUTE** values,
                                            HRESULT** errors) override;

    // IOPCHDA_SyncUpdate
    HRESULT STDMETHODCALLTYPE QueryCapabilities(OPCHDA_UPDATECAPABILITIES* capabilities) override;
    HRESULT STDMETHODCALLTYPE Insert(DWORD n, OPCHANDLE* handles, FILETIME* times, VARIANT* values,
                                     DWORD* qualities, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE Replace(DWORD n, OPCHANDLE* handles, FILETIME* times, VARIANT* values,
                                      DWORD* qualities, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE InsertReplace(DWORD n, OPCHANDLE* handles, FILETIME* times, VARIANT* values,
                                            DWORD* qualities, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE DeleteRaw(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD n, OPCHANDLE* handles,
                                        HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE DeleteAtTime(DWORD n, OPCHANDLE* handles, FILETIME* times, HRESULT** errors) override;

private:
    // In the hostile mode: waits a while now and then, and refuses a call now and then.
    HRESULT HostileRefusal();
    enum class EditKind { Insert, Replace, InsertReplace };
    struct EditRecord {
        Sample sample;
        Ticks modifiedAt;
        OPCHDA_EDITTYPE type;
    };

    Item* ItemOf(OPCHANDLE handle);
    // Calls perItem(item, output, i) for every known handle; unknown ones get
    // OPC_E_INVALIDHANDLE. The output's client handle is filled in first.
    // Calls perItem(item, i) for every known handle and stores its result; unknown handles
    // get OPC_E_INVALIDHANDLE.
    template <class PerItem>
    void ForEachKnownItem(DWORD count, const OPCHANDLE* handles, HRESULT* results, PerItem perItem);
    template <class Out, class PerItem>
    void ForEachItem(DWORD count, const OPCHANDLE* handles, Out* out, HRESULT* results, PerItem perItem);
    HRESULT Edit(const char* call, EditKind kind, DWORD n, OPCHANDLE* handles, FILETIME* times, VARIANT* values,
                 DWORD* qualities, HRESULT** errors);
    // Appends what one call changed to the writes file, in one write.
    void KeepRecords(const std::vector<std::string>& records) const;
    HRESULT ResolveTime(OPCHDA_TIME* time, bool& given, Ticks& ticks) const;
    // Hands an error array over, or, when the data file asks so, S_FALSE without one.
    HRESULT Finish(const char* call, HRESULT* errorArray, DWORD count, HRESULT** errors) const;

    // Counts this call of `call` and gives the fault the data file sets for it, or null.
    const CallFault* FaultOfThisCall(const std::string& call);

    std::shared_ptr<SimData> data_;
    std::shared_ptr<const Journal> journal_;
    const Journal writes_;
    std::mutex lock_;
    std::optional<HostileAnswers> hostile_; // under lock_
    std::map<std::string, unsigned> callCounts_; // under lock_
    std::map<OPCHANDLE, OPCHANDLE> clientOfHandle_;
    std::map<std::size_t, std::vector<EditRecord>> edits_; // by item index
};

} // namespace kesti::sim
