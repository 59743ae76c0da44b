#include "opchda/Browsing.h"

#include <algorithm>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "base/ResultText.h"
#include "base/TextConversion.h"
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
    const HRESULT result = browser.GetItemID(name, itemId.Put());
    if (FAILED(result)) LogFailure("IOPCHDA_Browser::GetItemID failed: %1%", result); // the name stays, without id
    else record.itemId = Utf8FromWide(itemId.Get());
    return record;
}

// How many names of one list have been taken, and how many may be: a server whose list
// never ends is cut at the limit, with one record.
struct NameCount {
    std::size_t taken = 0;
    std::size_t limit = kMaxBrowseNames;
};

// Reads one batch, never past the list's limit; false when the walk ends after it (a
// failure, the end, nothing fetched, or the limit).
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
    return result == S_OK && batch.Count() > 0;
}

HRESULT SetPosition(IOPCHDA_Browser& browser, const std::string& position) {
    const std::wstring wide = WideFromUtf8(position);
    return browser.ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, wide.c_str());
}

void Apply(const DcomIdentity* identity, IUnknown* proxy) {
    if (identity != nullptr) LogIfFailed(identity->ApplyTo(proxy), "CoSetProxyBlanket");
}

void Walk(IOPCHDA_Browser& browser, BrowseTree& tree, BrowseTree::TreeNode& parent, const std::string& position,
          std::int64_t& idCounter, const DcomIdentity* identity, std::vector<std::string>& ancestors);

// The enumerator of the branches at a position; null when the branch has none or cannot be
// entered (then the flat listing must work, or the whole walk fails).
ComPtr<IEnumString> BranchesAt(IOPCHDA_Browser& browser, const std::string& position, const DcomIdentity* identity) {
    ComPtr<IEnumString> names;
    HRESULT result = SetPosition(browser, position);
    if (SUCCEEDED(result)) result = browser.GetEnum(OPCHDA_BRANCH, names.GetAddressOf());
    if (FAILED(result)) {
        ComPtr<IEnumString> flat;
        const HRESULT flatResult = browser.GetEnum(OPCHDA_FLAT, flat.GetAddressOf());
        if (FAILED(flatResult))
            throw Exception((boost::format("OPC GetBranch GetEnum failed: %1%") % HResultText(flatResult)).str());
        return nullptr;
    }
    if (result != S_OK) return nullptr; // S_FALSE: no sub-branches
    Apply(identity, names.Get());
    return names;
}

void Walk(IOPCHDA_Browser& browser, BrowseTree& tree, BrowseTree::TreeNode& parent, const std::string& position,
          std::int64_t& idCounter, const DcomIdentity* identity, std::vector<std::string>& ancestors) {
    ComPtr<IEnumString> names = BranchesAt(browser, position, identity);
    if (!names) return;
    bool more = true;
    NameCount count;
    for (bool firstBatch = true; more; firstBatch = false) {
        NameBatch batch;
        more = NextBatch(*names.Get(), batch, count);
        // The walk below moved the position: item ids are asked for at this level's.
        if (!firstBatch && batch.Count() > 0) LogIfFailed(SetPosition(browser, position), "IOPCHDA_Browser::ChangeBrowsePosition");
        std::vector<BrowseRecord> records;
        for (ULONG i = 0; i < batch.Count(); ++i) records.push_back(RecordOf(browser, batch[i]));
        for (BrowseRecord& record : records) {
            BrowseTree::TreeNode& node = tree.Add(++idCounter, record, parent);
            if (std::find(ancestors.begin(), ancestors.end(), record.browseName) != ancestors.end()) {
                LogMessage(LogError, (boost::format("BrowseBranches: the branch %1% leads back to one of its "
                                                    "ancestors; it is not entered.") % record.browseName).str());
                continue;
            }
            if (static_cast<int>(ancestors.size()) >= kMaxBrowseDepth) {
                LogMessage(LogError, (boost::format("BrowseBranches: the branch %1% lies deeper than %2% levels; it "
                                                    "is not entered.") % record.browseName % kMaxBrowseDepth).str());
                continue;
            }
            ancestors.push_back(record.browseName);
            Walk(browser, tree, node, record.browseName, idCounter, identity, ancestors);
            ancestors.pop_back();
        }
    }
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

std::vector<BrowseRecord> ReadBrowseRecords(IOPCHDA_Browser& browser, IEnumString& names, std::size_t limit) {
    std::vector<BrowseRecord> records;
    NameCount count{0, limit};
    for (bool more = true; more;) {
        NameBatch batch;
        more = NextBatch(names, batch, count);
        for (ULONG i = 0; i < batch.Count(); ++i) records.push_back(RecordOf(browser, batch[i]));
    }
    return records;
}

void BrowseBranches(IOPCHDA_Browser& browser, BrowseTree& tree, BrowseTree::TreeNode& parent,
                    const std::string& position, std::int64_t& idCounter, const DcomIdentity* identity) {
    std::vector<std::string> ancestors;
    if (!position.empty()) ancestors.push_back(position);
    Walk(browser, tree, parent, position, idCounter, identity, ancestors);
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
    BrowseBranches(*browser.Get(), tree, root, "", idCounter, &identity);
    if (root.children.empty()) noBranches = true;
}

} // namespace kesti
