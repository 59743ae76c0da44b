#pragma once
// The chaos server's address space: a browser whose position moves (or does not) as asked,
// and the enumerators of names it hands out. Lists are drawn anew at every GetEnum: mostly a
// few leaves and branches a few levels deep; sometimes tens of thousands of names, names no
// one should trust, branches that go on for ever or lead back to themselves, and
// enumerators that never end, answer nothing for ever or fail half way.
#include <memory>
#include <string>

#include <objidl.h>

#include "ComServerHost.h"
#include "opchda.h"

#include "Chaos.h"

namespace kesti::chaos {

class NameEnumerator : public tools::ComObjectBase, public IEnumString {
public:
    enum class Mode { Normal, SilentForever, FalseWithNames, Endless, FailHalfWay };
    NameEnumerator(std::shared_ptr<Chaos> chaos, std::wstring prefix, uint64_t count, Mode mode);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    KESTI_COM_REFCOUNT
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* rgelt, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumString** copy) override;

private:
    std::shared_ptr<Chaos> chaos_;
    std::wstring prefix_;
    uint64_t count_;
    Mode mode_;
    uint64_t next_ = 0;
};

class ChaosBrowser : public tools::ComObjectBase, public IOPCHDA_Browser {
public:
    explicit ChaosBrowser(std::shared_ptr<Chaos> chaos);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    KESTI_COM_REFCOUNT
    HRESULT STDMETHODCALLTYPE GetEnum(OPCHDA_BROWSETYPE type, LPENUMSTRING* enumerator) override;
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCHDA_BROWSEDIRECTION direction, LPCWSTR text) override;
    HRESULT STDMETHODCALLTYPE GetItemID(LPCWSTR node, LPWSTR* itemId) override;
    HRESULT STDMETHODCALLTYPE GetBranchPosition(LPWSTR* position) override;

private:
    std::size_t Depth() const;

    std::shared_ptr<Chaos> chaos_;
    std::wstring position_;
};

} // namespace kesti::chaos
