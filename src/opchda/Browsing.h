#pragma once
// Walking the server's address space: the tree of branches for the node selection dialog,
// and the (browse name, item id) pairs of the names an enumerator gives.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "discovery/DcomIdentity.h"
#include "discovery/OPCURL.h"
#include "opchda.h"
#include "platform/ComPtr.h"

namespace kesti {

struct BrowseRecord {
    bool flag = false;
    std::string browseName;
    std::string itemId; // empty when the server gave none
};

class BrowseTree {
public:
    struct TreeNode {
        BrowseRecord record;
        std::int64_t id = -1;
        std::int32_t depth = 1;
        TreeNode* parent = nullptr;
        std::vector<TreeNode*> children;
        BrowseTree* tree = nullptr;
    };

    TreeNode& AddRoot(BrowseRecord record);
    TreeNode& Add(std::int64_t id, BrowseRecord record, TreeNode& parent);
    TreeNode* Root() const { return root_; }
    const std::map<std::int64_t, std::unique_ptr<TreeNode>>& Nodes() const { return nodes_; }

private:
    std::map<std::int64_t, std::unique_ptr<TreeNode>> nodes_;
    TreeNode* root_ = nullptr;
};

// The most names taken from one list of a server (one level of branches, or a node's leaves):
// a server whose enumerator never ends is not read until memory runs out.
constexpr std::size_t kMaxBrowseNames = 1'000'000;
// The most names of the whole tree of branches the node dialog shows.
constexpr std::size_t kMaxBrowseTreeNames = 100'000;
// The longest name taken; longer ones, and empty ones, are left out.
constexpr std::size_t kMaxNameLength = 4096;

// How far one walk over a server's names may go: names in all, and time. The first limit
// reached stops the walk, with one Error record.
class BrowseBudget {
public:
    BrowseBudget(std::size_t names, std::chrono::steady_clock::duration time)
        : names_(names), time_(time), deadline_(std::chrono::steady_clock::now() + time) {}

    // Whether the walk may ask the server for more; false (and recorded once) when not.
    bool GoesOn();
    // Counts names taken.
    void Took(std::size_t names) { taken_ += names; }

private:
    std::size_t names_;
    std::size_t taken_ = 0;
    std::chrono::steady_clock::duration time_;
    std::chrono::steady_clock::time_point deadline_;
    bool stopped_ = false;
};

// The records of the names the enumerator gives, 100 at a time, each with its item id, up
// to `limit` names (one Error record when the server has more) and within the budget. A
// failing Next or GetItemID is logged at Error level and the walk goes on; names that are
// empty or too long are left out, with one Error record for the list.
std::vector<BrowseRecord> ReadBrowseRecords(IOPCHDA_Browser& browser, IEnumString& names, BrowseBudget& budget,
                                            std::size_t limit = kMaxBrowseNames);

// The enumerator of a listing at the browser's position. A success without an enumerator is
// a failure of the call (E_POINTER); S_FALSE without one is an empty list (null).
platform::ComPtr<IEnumString> ListNames(IOPCHDA_Browser& browser, OPCHDA_BROWSETYPE type, const DcomIdentity* identity,
                                       HRESULT& result);

// The branches below the position, depth first, with ids counting on from *idCounter.
// Branches that lead back to an ancestor, and levels deeper than kMaxBrowseDepth, are not
// entered (one Error record each).
constexpr int kMaxBrowseDepth = 64;
void BrowseBranches(IOPCHDA_Browser& browser, BrowseTree& tree, BrowseTree::TreeNode& parent,
                    const std::string& position, std::int64_t& idCounter, const DcomIdentity* identity,
                    BrowseBudget& budget);

// A browser of the server's address space, without filters, carrying the identity. Throws
// ComError with the failure pattern's message (%1%: the result) when it cannot be had.
platform::ComPtr<IOPCHDA_Browser> CreateBrowser(IOPCHDA_Server& server, const DcomIdentity* identity,
                                               const char* failurePattern);

// The whole tree of branches of a server, from a server instance of its own. Sets
// noBranches when the server has none. Throws the plug-in's Exception when it stops.
void BuildBrowseTree(const OPCServerInfo& server, BrowseTree& tree, bool& noBranches);

} // namespace kesti
