#pragma once
// IOPCHDA_Browser over the simulated address space, and the IEnumString it hands out.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ComServerHost.h"
#include "HostileAnswers.h"
#include "Journal.h"
#include "SimData.h"
#include "opchda.h"

namespace kesti::sim {

class StringEnumerator : public IEnumString, public tools::ComObjectBase {
public:
    StringEnumerator(std::vector<std::wstring> names, HRESULT failure, unsigned failAfter, const Journal& journal);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    KESTI_COM_REFCOUNT
    HRESULT STDMETHODCALLTYPE Next(ULONG count, LPOLESTR* names, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumString** copy) override;

private:
    std::vector<std::wstring> names_;
    std::size_t next_ = 0;
    HRESULT failure_;
    unsigned failAfter_;
    const Journal& journal_;
};

class SimBrowser : public IOPCHDA_Browser, public tools::ComObjectBase {
public:
    SimBrowser(std::shared_ptr<const SimData> data, std::shared_ptr<const Journal> journal);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    KESTI_COM_REFCOUNT
    HRESULT STDMETHODCALLTYPE GetEnum(OPCHDA_BROWSETYPE type, LPENUMSTRING* enumerator) override;
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCHDA_BROWSEDIRECTION direction, LPCWSTR position) override;
    HRESULT STDMETHODCALLTYPE GetItemID(LPCWSTR node, LPWSTR* itemId) override;
    HRESULT STDMETHODCALLTYPE GetBranchPosition(LPWSTR* position) override;

private:
    std::wstring BrowseName(const Branch& branch) const;
    std::wstring BrowseName(const Item& item) const;
    void CollectFlat(const Branch& branch, std::vector<std::wstring>& names) const;
    const Branch* FindBranchByName(const Branch& under, const std::wstring& name) const;

    std::shared_ptr<const SimData> data_;
    std::shared_ptr<const Journal> journal_;
    const Branch* position_;
    std::optional<HostileAnswers> hostile_; // a browser's own, from the data file's seed
};

} // namespace kesti::sim
