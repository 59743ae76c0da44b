#pragma once
// Walking the server's address space: the tree of branches for the node selection dialog,
// and the (browse name, item id) pairs of the names an enumerator gives.
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

// The records of every name the enumerator gives, 100 at a time, each with its item id, up
// to `limit` names (one Error record when the server has more). A failing Next or GetItemID
// is logged at Error level and the walk goes on.
std::vector<BrowseRecord> ReadBrowseRecords(IOPCHDA_Browser& browser, IEnumString& names,
                                            std::size_t limit = kMaxBrowseNames);

// The branches below the position, depth first, with ids counting on from *idCounter.
// Branches that lead back to an ancestor, and levels deeper than kMaxBrowseDepth, are not
// entered (one Error record each).
constexpr int kMaxBrowseDepth = 64;
void BrowseBranches(IOPCHDA_Browser& browser, BrowseTree& tree, BrowseTree::TreeNode& parent,
                    const std::string& position, std::int64_t& idCounter, const DcomIdentity* identity);

// A browser of the server's address space, without filters, carrying the identity. Throws
// ComError with the failure pattern's message (%1%: the result) when it cannot be had.
platform::ComPtr<IOPCHDA_Browser> CreateBrowser(IOPCHDA_Server& server, const DcomIdentity* identity,
                                               const char* failurePattern);

// The whole tree of branches of a server, from a server instance of its own. Sets
// noBranches when the server has none. Throws the plug-in's Exception when it stops.
void BuildBrowseTree(const OPCServerInfo& server, BrowseTree& tree, bool& noBranches);

} // namespace kesti
