#include "opchda/Browsing.h"

#include <algorithm>
#include <cwchar>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "base/ResultText.h"
#include "base/TextConversion.h"
#include "config/Configuration.h"
#include "discovery/ServerActivation.h"
#include "platform/ComMemory.h"
#include "platform/ComPtr.h"

namespace kesti {
namespace {

using platform::ComPtr;

constexpr ULONG kBatch = 100;

void LogFailure(const char* pattern, HRESULT result) {
    LogMessage(LogError, (boost::format(pattern) % HResultText(result)).str());
}

using NameBatch = platform::TaskMemStringBatch<kBatch>;

BrowseRecord RecordOf(IOPCHDA_Browser& browser, const wchar_t* name) {
    BrowseRecord record;
    record.browseName = Utf8FromWide(name);
    platform::UniqueCoTaskMemString itemId;
    HRESULT result = browser.GetItemID(name, itemId.Put());
    // A success without a usable text gives no item id either.
    if (SUCCEEDED(result) && (itemId.Get() == nullptr || *itemId.Get() == L'\0')) result = E_POINTER;
    if (SUCCEEDED(result) && std::wcslen(itemId.Get()) > kMaxNameLength) result = static_cast<HRESULT>(0x8000000B); // E_BOUNDS
    if (FAILED(result)) LogFailure("IOPCHDA_Browser::GetItemID failed: %1%", result); // the name stays, without id
    else record.itemId = Utf8FromWide(itemId.Get());
    return record;
}

// How many names of one list have been taken, and how many may be: a server whose list
// never ends is cut at the limit, with one record.
struct NameCount {
    std::size_t taken = 0;
    std::size_t limit = kMaxBrowseNames;
    std::size_t unusable = 0; // empty or too long, left out
};

bool Usable(const wchar_t* name) {
    return name != nullptr && *name != L'\0' && std::wcslen(name) <= kMaxNameLength;
}

bool AnyUsable(const NameBatch& batch) {
    for (ULONG i = 0; i < batch.Count(); ++i)
        if (Usable(batch[i])) return true;
    return false;
}

// Reads one batch, never past the list's limit; false when the walk ends after it (a
// failure, the end, no usable name fetched, or the limit). COM's stub makes an answer of S_OK
// with nothing fetched a full batch of NULL names: such a list would never end.
bool NextBatch(IEnumString& names, NameBatch& batch, NameCount& count) {
    if (count.taken >= count.limit) {
        LogMessage(LogError, (boost::format("Browsing stopped after %1% names: the server offers more in one list than "
                                            "the plug-in takes.") % count.limit).str());
        return false;
    }
    const auto wanted = static_cast<ULONG>(std::min<std::size_t>(batch.Capacity(), count.limit - count.taken));
    const HRESULT result = names.Next(wanted, batch.Names(), batch.Fetched());
    if (FAILED(result)) {
        *batch.Fetched() = 0;
        LogFailure("IEnumString::Next failed: %1%", result);
        return false;
    }
    count.taken += std::min<ULONG>(batch.Count(), wanted);
    return result == S_OK && AnyUsable(batch);
}

// The records of a batch's usable names, each with its item id, while the budget lasts.
std::vector<BrowseRecord> RecordsOf(IOPCHDA_Browser& browser, const NameBatch& batch, NameCount& count,
                                    BrowseBudget& budget) {
    std::vector<BrowseRecord> records;
    for (ULONG i = 0; i < batch.Count() && budget.GoesOn(); ++i) {
        if (!Usable(batch[i])) {
            ++count.unusable;
            continue;
        }
        records.push_back(RecordOf(browser, batch[i]));
        budget.Took(1);
    }
    return records;
}

void LogUnusable(const NameCount& count) {
    if (count.unusable > 0)
        LogMessage(LogError, (boost::format("IEnumString::Next gave %1% names that are empty or longer than %2% "
                                            "characters; they are left out.") % count.unusable % kMaxNameLength).str());
}

HRESULT SetPosition(IOPCHDA_Browser& browser, const std::string& position) {
    const std::wstring wide = WideFromUtf8(position);
    return browser.ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, wide.c_str());
}

void Apply(const DcomIdentity* identity, IUnknown* proxy) {
    if (identity != nullptr) LogIfFailed(identity->ApplyTo(proxy), "CoSetProxyBlanket");
}

struct WalkState {
    IOPCHDA_Browser& browser;
    BrowseTree& tree;
    std::int64_t& idCounter;
    const DcomIdentity* identity;
    BrowseBudget& budget;
    std::vector<std::string> ancestors;
};

// The enumerator of the branches at a position; null when the branch has none or cannot be
// entered (then the flat listing must work, or the whole walk fails).
ComPtr<IEnumString> BranchesAt(WalkState& walk, const std::string& position) {
    HRESULT result = SetPosition(walk.browser, position);
    ComPtr<IEnumString> names;
    if (SUCCEEDED(result)) names = ListNames(walk.browser, OPCHDA_BRANCH, walk.identity, result);
    if (FAILED(result)) {
        HRESULT flatResult = S_OK;
        ListNames(walk.browser, OPCHDA_FLAT, walk.identity, flatResult);
        if (FAILED(flatResult))
            throw Exception((boost::format("OPC GetBranch GetEnum failed: %1%") % HResultText(flatResult)).str());
        if (result == E_POINTER) LogFailure("IOPCHDA_Browser::GetEnum failed: %1%", result);
        return nullptr;
    }
    return result == S_OK ? names : nullptr; // S_FALSE: no sub-branches
}

// Whether the branch may be entered: not one of its ancestors, not too deep.
bool MayEnter(const WalkState& walk, const BrowseRecord& record) {
    if (std::find(walk.ancestors.begin(), walk.ancestors.end(), record.browseName) != walk.ancestors.end()) {
        LogMessage(LogError, (boost::format("BrowseBranches: the branch %1% leads back to one of its ancestors; it is "
                                            "not entered.") % record.browseName).str());
        return false;
    }
    if (static_cast<int>(walk.ancestors.size()) >= kMaxBrowseDepth) {
        LogMessage(LogError, (boost::format("BrowseBranches: the branch %1% lies deeper than %2% levels; it is not "
                                            "entered.") % record.browseName % kMaxBrowseDepth).str());
        return false;
    }
    return true;
}

void Walk(WalkState& walk, BrowseTree::TreeNode& parent, const std::string& position) {
    ComPtr<IEnumString> names = BranchesAt(walk, position);
    if (!names) return;
    bool more = true;
    NameCount count;
    for (bool firstBatch = true; more && walk.budget.GoesOn(); firstBatch = false) {
        NameBatch batch;
        more = NextBatch(*names.Get(), batch, count);
        // The walk below moved the position: item ids are asked for at this level's.
        if (!firstBatch && batch.Count() > 0)
            LogIfFailed(SetPosition(walk.browser, position), "IOPCHDA_Browser::ChangeBrowsePosition");
        for (BrowseRecord& record : RecordsOf(walk.browser, batch, count, walk.budget)) {
            BrowseTree::TreeNode& node = walk.tree.Add(++walk.idCounter, record, parent);
            if (!walk.budget.GoesOn() || !MayEnter(walk, record)) continue;
            walk.ancestors.push_back(record.browseName);
            Walk(walk, node, record.browseName);
            walk.ancestors.pop_back();
        }
    }
    LogUnusable(count);
}

} // namespace

BrowseTree::TreeNode& BrowseTree::AddRoot(BrowseRecord record) {
    auto node = std::make_unique<TreeNode>();
    node->record = std::move(record);
    node->id = -1;
    node->depth = 1;
    node->tree = this;
    root_ = node.get();
    nodes_[-1] = std::move(node);
    return *root_;
}

BrowseTree::TreeNode& BrowseTree::Add(std::int64_t id, BrowseRecord record, TreeNode& parent) {
    auto node = std::make_unique<TreeNode>();
    node->record = std::move(record);
    node->id = id;
    node->depth = parent.depth + 1;
    node->parent = &parent;
    node->tree = this;
    TreeNode& added = *node;
    parent.children.push_back(&added);
    nodes_[id] = std::move(node);
    return added;
}

bool BrowseBudget::GoesOn() {
    if (stopped_) return false;
    if (taken_ >= names_)
        LogMessage(LogError, (boost::format("Browsing stopped after %1% names in all: the server offers more than the "
                                            "plug-in takes.") % names_).str());
    else if (std::chrono::steady_clock::now() >= deadline_)
        LogMessage(LogError, (boost::format("Browsing stopped after %1% seconds (the ServerTimeLimit setting): the server "
                                            "answers too slowly; the names listed so far are kept.") %
                                std::chrono::duration_cast<std::chrono::seconds>(time_).count()).str());
    else
        return true;
    stopped_ = true;
    return false;
}

std::vector<BrowseRecord> ReadBrowseRecords(IOPCHDA_Browser& browser, IEnumString& names, BrowseBudget& budget,
                                            std::size_t limit) {
    std::vector<BrowseRecord> records;
    NameCount count{0, limit};
    for (bool more = true; more && budget.GoesOn();) {
        NameBatch batch;
        more = NextBatch(names, batch, count);
        for (BrowseRecord& record : RecordsOf(browser, batch, count, budget)) records.push_back(std::move(record));
    }
    LogUnusable(count);
    return records;
}

platform::ComPtr<IEnumString> ListNames(IOPCHDA_Browser& browser, OPCHDA_BROWSETYPE type, const DcomIdentity* identity,
                                       HRESULT& result) {
    ComPtr<IEnumString> names;
    result = browser.GetEnum(type, names.GetAddressOf());
    if (result == S_OK && !names) result = E_POINTER;
    if (FAILED(result) || !names) return nullptr;
    Apply(identity, names.Get());
    return names;
}

void BrowseBranches(IOPCHDA_Browser& browser, BrowseTree& tree, BrowseTree::TreeNode& parent,
                    const std::string& position, std::int64_t& idCounter, const DcomIdentity* identity,
                    BrowseBudget& budget) {
    WalkState walk{browser, tree, idCounter, identity, budget, {}};
    if (!position.empty()) walk.ancestors.push_back(position);
    Walk(walk, parent, position);
}

platform::ComPtr<IOPCHDA_Browser> CreateBrowser(IOPCHDA_Server& server, const DcomIdentity* identity,
                                               const char* failurePattern) {
    platform::ComPtr<IOPCHDA_Browser> browser;
    platform::UniqueCoTaskMemArray<HRESULT> errors;
    DWORD noAttribute = 0;
    OPCHDA_OPERATORCODES noOperator = OPCHDA_EQUAL;
    platform::UniqueVariant noFilter; // no filters; the empty arrays still need valid pointers
    const HRESULT created =
        server.CreateBrowse(0, &noAttribute, &noOperator, noFilter.Get(), browser.GetAddressOf(), errors.Put());
    ThrowIfFailed(NullAsFailure(created, browser.Get(), E_NOINTERFACE), "IOPCHDA_Server::CreateBrowse",
                  failurePattern);
    Apply(identity, browser.Get());
    return browser;
}

void BuildBrowseTree(const OPCServerInfo& server, BrowseTree& tree, bool& noBranches) {
    DcomIdentity identity({server.userName, server.password, server.domain});
    const platform::ComPtr<IOPCHDA_Server> hda =
        ActivateOnHost<IOPCHDA_Server>(server.address.ClassId(), server.address.Host(), &identity);
    const platform::ComPtr<IOPCHDA_Browser> browser =
        CreateBrowser(*hda.Get(), &identity, "Could not create the OPC browser: %1%");

    BrowseTree::TreeNode& root = tree.AddRoot(BrowseRecord{false, "root", "root"});
    std::int64_t idCounter = -1;
    BrowseBudget budget(kMaxBrowseTreeNames, std::chrono::seconds(kDefaultServerTimeLimit));
    BrowseBranches(*browser.Get(), tree, root, "", idCounter, &identity, budget);
    if (root.children.empty()) noBranches = true;
}

} // namespace kesti
