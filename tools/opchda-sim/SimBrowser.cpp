#include "SimBrowser.h"

#include "SimText.h"

namespace kesti::sim {

StringEnumerator::StringEnumerator(std::vector<std::wstring> names, HRESULT failure, unsigned failAfter,
                                   const Journal& journal)
    : names_(std::move(names)), failure_(failure), failAfter_(failAfter), journal_(journal) {}

HRESULT StringEnumerator::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumString)) {
        *object = static_cast<IEnumString*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT StringEnumerator::Next(ULONG count, LPOLESTR* names, ULONG* fetched) {
    journal_.Write("Next count=" + std::to_string(count));
    if (names == nullptr) return E_POINTER;
    // A failing enumerator fails the first call that would go past its limit.
    if (FAILED(failure_) && next_ + count > failAfter_) {
        if (fetched != nullptr) *fetched = 0;
        return failure_;
    }
    const std::size_t available = names_.size() - next_;
    const ULONG n = static_cast<ULONG>(std::min<std::size_t>(count, available));
    for (ULONG i = 0; i < n; ++i) names[i] = tools::CoTaskText(names_[next_ + i]);
    next_ += n;
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT StringEnumerator::Skip(ULONG count) {
    next_ = std::min(names_.size(), next_ + count);
    return next_ < names_.size() ? S_OK : S_FALSE;
}

HRESULT StringEnumerator::Reset() {
    next_ = 0;
    return S_OK;
}

HRESULT StringEnumerator::Clone(IEnumString** copy) {
    if (copy == nullptr) return E_POINTER;
    auto* clone = new StringEnumerator(names_, failure_, failAfter_, journal_);
    clone->next_ = next_;
    *copy = clone;
    return S_OK;
}

SimBrowser::SimBrowser(std::shared_ptr<const SimData> data, std::shared_ptr<const Journal> journal)
    : data_(std::move(data)), journal_(std::move(journal)), position_(&data_->root) {
    if (data_->options.hostileSeed) hostile_.emplace(*data_->options.hostileSeed * 7919u + 1u);
}

HRESULT SimBrowser::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCHDA_Browser)) {
        *object = static_cast<IOPCHDA_Browser*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

std::wstring SimBrowser::BrowseName(const Branch& branch) const {
    if (!branch.linkTarget.empty()) return branch.linkTarget;
    return data_->options.qualifiedBrowseNames ? branch.id : branch.name;
}

std::wstring SimBrowser::BrowseName(const Item& item) const {
    return data_->options.qualifiedBrowseNames ? item.id : item.name;
}

void SimBrowser::CollectFlat(const Branch& branch, std::vector<std::wstring>& names) const {
    for (std::size_t index : branch.items) names.push_back(data_->items[index].id);
    for (const auto& child : branch.branches)
        if (child->linkTarget.empty()) CollectFlat(*child, names);
}

HRESULT SimBrowser::GetEnum(OPCHDA_BROWSETYPE type, LPENUMSTRING* enumerator) {
    journal_->Write("GetEnum type=" + std::to_string(type) + " position=" + Utf8(position_->id));
    if (enumerator == nullptr) return E_POINTER;
    *enumerator = nullptr;
    if (const HRESULT failure = InjectedFailure(data_->options, "GetEnum"); FAILED(failure)) return failure;
    if (type < OPCHDA_BRANCH || type > OPCHDA_ITEMS) return E_INVALIDARG;
    std::vector<std::wstring> names;
    if (type == OPCHDA_BRANCH || type == OPCHDA_ITEMS)
        for (const auto& child : position_->branches) names.push_back(BrowseName(*child));
    if (type == OPCHDA_LEAF || type == OPCHDA_ITEMS)
        for (std::size_t index : position_->items) names.push_back(BrowseName(data_->items[index]));
    if (type == OPCHDA_FLAT) CollectFlat(*position_, names);
    if (hostile_) {
        hostile_->Delay();
        if (hostile_->DropsOutParameter()) return S_OK;
        hostile_->SpoilNames(names);
    }
    const bool empty = names.empty();
    *enumerator = new StringEnumerator(std::move(names), position_->enumFails, position_->enumFailsAfter, *journal_);
    return empty ? S_FALSE : S_OK;
}

const Branch* SimBrowser::FindBranchByName(const Branch& under, const std::wstring& name) const {
    for (const auto& child : under.branches) {
        if (child->linkTarget.empty() && child->name == name) return child.get();
        if (const Branch* deeper = FindBranchByName(*child, name)) return deeper;
    }
    return nullptr;
}

HRESULT SimBrowser::ChangeBrowsePosition(OPCHDA_BROWSEDIRECTION direction, LPCWSTR text) {
    const std::wstring target = text != nullptr ? text : L"";
    journal_->Write("ChangeBrowsePosition direction=" + std::to_string(direction) + " position=" + Utf8(target));
    if (direction == OPCHDA_BROWSE_UP) {
        if (position_->parent == nullptr) return E_FAIL;
        position_ = position_->parent;
        return S_OK;
    }
    if (direction == OPCHDA_BROWSE_DOWN) {
        for (const auto& child : position_->branches)
            if (BrowseName(*child) == target) {
                const std::wstring id = child->linkTarget.empty() ? child->id : child->linkTarget;
                position_ = data_->branchById.at(id);
                return S_OK;
            }
        return E_INVALIDARG;
    }
    if (direction != OPCHDA_BROWSE_DIRECT) return E_INVALIDARG;
    if (target.empty()) {
        position_ = &data_->root;
        return S_OK;
    }
    const Branch* found = nullptr;
    if (const auto it = data_->branchById.find(target); it != data_->branchById.end()) found = it->second;
    else if (data_->options.directAcceptsNames) found = FindBranchByName(data_->root, target);
    if (found == nullptr || found->noDirect) return E_INVALIDARG;
    position_ = found;
    return S_OK;
}

HRESULT SimBrowser::GetItemID(LPCWSTR node, LPWSTR* itemId) {
    const std::wstring name = node != nullptr ? node : L"";
    journal_->Write("GetItemID node=" + Utf8(name));
    if (itemId == nullptr) return E_POINTER;
    *itemId = nullptr;
    if (const HRESULT failure = InjectedFailure(data_->options, "GetItemID"); FAILED(failure)) return failure;
    if (hostile_ && hostile_->DropsOutParameter()) return S_OK;
    if (hostile_ && name.rfind(L"extra", 0) == 0) { // the names it added
        *itemId = tools::CoTaskText(name);
        return S_OK;
    }
    for (const auto& child : position_->branches)
        if (BrowseName(*child) == name) {
            if (child->itemIdFails) return E_FAIL;
            *itemId = tools::CoTaskText(child->linkTarget.empty() ? child->id : child->linkTarget);
            return S_OK;
        }
    for (std::size_t index : position_->items) {
        const Item& item = data_->items[index];
        if (BrowseName(item) == name || item.id == name) {
            if (item.itemIdFails) return E_FAIL;
            *itemId = tools::CoTaskText(item.id);
            return S_OK;
        }
    }
    if (const auto it = data_->itemById.find(name); it != data_->itemById.end()) {
        if (data_->items[it->second].itemIdFails) return E_FAIL;
        *itemId = tools::CoTaskText(name);
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT SimBrowser::GetBranchPosition(LPWSTR* position) {
    journal_->Write("GetBranchPosition");
    if (position == nullptr) return E_POINTER;
    *position = tools::CoTaskText(position_->id);
    return S_OK;
}

} // namespace kesti::sim
