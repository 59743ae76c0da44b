#pragma once
// The OPC server-list component: the classes registered under component categories, read
// from the registry as the OPC Foundation's component does, through IOPCServerList2 and the
// older IOPCServerList.
#include <vector>

#include "ComServerHost.h"
#include "opccomn.h"

namespace kesti::serverlist {

// One enumerator for both interfaces: IOPCEnumGUID and IEnumGUID share their layout.
class GuidEnumerator : public IOPCEnumGUID, public tools::ComObjectBase {
public:
    explicit GuidEnumerator(std::vector<GUID> ids) : ids_(std::move(ids)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    KESTI_COM_REFCOUNT
    HRESULT STDMETHODCALLTYPE Next(ULONG count, GUID* ids, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IOPCEnumGUID** copy) override;

private:
    std::vector<GUID> ids_;
    std::size_t next_ = 0;
};

class ServerList : public IOPCServerList2, public IOPCServerList, public tools::ComObjectBase {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    KESTI_COM_REFCOUNT
    // IOPCServerList2
    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG implemented, CATID* implementedIds, ULONG required,
                                                      CATID* requiredIds, IOPCEnumGUID** classes) override;
    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType,
                                              LPOLESTR* versionIndependentProgId) override;
    HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) override;
    // IOPCServerList
    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG implemented, CATID* implementedIds, ULONG required,
                                                      CATID* requiredIds, IEnumGUID** classes) override;
    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType) override;
};

} // namespace kesti::serverlist
