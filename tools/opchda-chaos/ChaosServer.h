#pragma once
// The chaos server's main object: IOPCHDA_Server, IOPCHDA_SyncRead and IOPCHDA_SyncUpdate
// over one seeded Chaos. Sound answers describe a small plant whose items hold a value every
// few seconds; hostile ones are legal on the wire and wrong in every other way the seed draws.
#include <memory>

#include "ComServerHost.h"
#include "opchda.h"

#include "Chaos.h"

namespace kesti::chaos {

class ChaosServer : public tools::ComObjectBase,
                    public IOPCHDA_Server,
                    public IOPCHDA_SyncRead,
                    public IOPCHDA_SyncUpdate {
public:
    explicit ChaosServer(std::shared_ptr<Chaos> chaos);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    KESTI_COM_REFCOUNT

    // IOPCHDA_Server
    HRESULT STDMETHODCALLTYPE GetItemAttributes(DWORD*, DWORD**, LPWSTR**, LPWSTR**, VARTYPE**) override;
    HRESULT STDMETHODCALLTYPE GetAggregates(DWORD*, DWORD**, LPWSTR**, LPWSTR**) override;
    HRESULT STDMETHODCALLTYPE GetHistorianStatus(OPCHDA_SERVERSTATUS* status, FILETIME** currentTime,
                                                 FILETIME** startTime, WORD* major, WORD* minor, WORD* build,
                                                 DWORD* maxReturnValues, LPWSTR* statusText,
                                                 LPWSTR* vendorInfo) override;
    HRESULT STDMETHODCALLTYPE GetItemHandles(DWORD count, LPWSTR* itemIds, OPCHANDLE* clientHandles,
                                             OPCHANDLE** serverHandles, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE ReleaseItemHandles(DWORD count, OPCHANDLE* serverHandles, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE ValidateItemIDs(DWORD, LPWSTR*, HRESULT**) override;
    HRESULT STDMETHODCALLTYPE CreateBrowse(DWORD count, DWORD* attributeIds, OPCHDA_OPERATORCODES* operators,
                                           VARIANT* filters, IOPCHDA_Browser** browser, HRESULT** errors) override;

    // IOPCHDA_SyncRead
    HRESULT STDMETHODCALLTYPE ReadRaw(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, BOOL bounds,
                                      DWORD numItems, OPCHANDLE* serverHandles, OPCHDA_ITEM** items,
                                      HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE ReadProcessed(OPCHDA_TIME*, OPCHDA_TIME*, FILETIME, DWORD, OPCHANDLE*, DWORD*,
                                            OPCHDA_ITEM**, HRESULT**) override;
    HRESULT STDMETHODCALLTYPE ReadAtTime(DWORD, FILETIME*, DWORD, OPCHANDLE*, OPCHDA_ITEM**, HRESULT**) override;
    HRESULT STDMETHODCALLTYPE ReadModified(OPCHDA_TIME*, OPCHDA_TIME*, DWORD, DWORD, OPCHANDLE*,
                                           OPCHDA_MODIFIEDITEM**, HRESULT**) override;
    HRESULT STDMETHODCALLTYPE ReadAttribute(OPCHDA_TIME*, OPCHDA_TIME*, OPCHANDLE, DWORD, DWORD*,
                                            OPCHDA_ATTRIBUTE**, HRESULT**) override;

    // IOPCHDA_SyncUpdate
    HRESULT STDMETHODCALLTYPE QueryCapabilities(OPCHDA_UPDATECAPABILITIES* capabilities) override;
    HRESULT STDMETHODCALLTYPE Insert(DWORD, OPCHANDLE*, FILETIME*, VARIANT*, DWORD*, HRESULT**) override;
    HRESULT STDMETHODCALLTYPE Replace(DWORD, OPCHANDLE*, FILETIME*, VARIANT*, DWORD*, HRESULT**) override;
    HRESULT STDMETHODCALLTYPE InsertReplace(DWORD numItems, OPCHANDLE* serverHandles, FILETIME* times,
                                            VARIANT* values, DWORD* qualities, HRESULT** errors) override;
    HRESULT STDMETHODCALLTYPE DeleteRaw(OPCHDA_TIME*, OPCHDA_TIME*, DWORD, OPCHANDLE*, HRESULT**) override;
    HRESULT STDMETHODCALLTYPE DeleteAtTime(DWORD, OPCHANDLE*, FILETIME*, HRESULT**) override;

private:
    // Per-item results of a call that changes nothing but handles: sound, or hostile in one
    // of the ways drawn for the whole call.
    HRESULT HandleResults(Chaos::Call& call, DWORD count, HRESULT** errors);

    std::shared_ptr<Chaos> chaos_;
    OPCHANDLE nextHandle_ = 1;
};

} // namespace kesti::chaos
