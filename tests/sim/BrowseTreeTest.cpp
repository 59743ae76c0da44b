// The branch tree and the proxy's connection against the out-of-process simulation server.
#include <optional>

#include <gtest/gtest.h>

#include "common/SimulationServer.h"
#include "base/Exception.h"
#include "opchda/Browsing.h"
#include "opchda/OpcHdaProxy.h"
#include "platform/ComApartment.h"
#include "unit/TempDataFolder.h"

namespace kesti::test {
namespace {

class BrowseTreeTest : public TempDataFolderTest {
protected:
    void SetUp() override {
        TempDataFolderTest::SetUp();
        apartment_.emplace(COINIT_MULTITHREADED);
    }
    void TearDown() override {
        apartment_.reset();
        TempDataFolderTest::TearDown();
    }

    BrowseTree& Build(const std::string& json) {
        sim_ = std::make_unique<SimulationServer>(json);
        OPCServerInfo info;
        info.address = OPCURL::Parse(kSimulationServerUrl);
        BuildBrowseTree(info, tree_, noBranches_);
        return tree_;
    }

    static std::vector<std::string> Names(const BrowseTree::TreeNode& node) {
        std::vector<std::string> names;
        for (const auto* child : node.children) names.push_back(child->record.browseName);
        return names;
    }

    std::optional<platform::ComApartment> apartment_;
    std::unique_ptr<SimulationServer> sim_;
    BrowseTree tree_;
    bool noBranches_ = false;
};

using NameList = std::vector<std::string>;

TEST_F(BrowseTreeTest, QualifiedNamesGiveTheWholeTreeNumberedDepthFirst) {
    const BrowseTree& tree = Build(R"({ "branches": [
        { "name": "A", "branches": [ { "name": "A1" }, { "name": "A2", "branches": [ { "name": "deep" } ] } ] },
        { "name": "B" } ] })");
    const auto& root = *tree.Root();
    EXPECT_EQ(root.id, -1);
    EXPECT_EQ(root.record.browseName, "root");
    EXPECT_EQ(Names(root), (NameList{"A", "B"}));
    const auto& a = *root.children[0];
    EXPECT_EQ(a.id, 0);
    EXPECT_EQ(a.record.itemId, "A");
    EXPECT_EQ(Names(a), (NameList{"A.A1", "A.A2"}));
    EXPECT_EQ(a.children[1]->children.at(0)->id, 3);
    EXPECT_EQ(a.children[1]->children.at(0)->depth, 4);
    EXPECT_EQ(root.children[1]->id, 4);
    EXPECT_FALSE(noBranches_);
}

TEST_F(BrowseTreeTest, ShortBrowseNamesShowTheTopLevelOnlyAndAClosedBranchHasNoChildren) {
    const BrowseTree& tree = Build(R"({ "server": { "qualifiedBrowseNames": false }, "branches": [
        { "name": "A", "branches": [ { "name": "A1", "branches": [ { "name": "x" } ] } ] },
        { "name": "Closed", "noDirect": true, "id": "Closed", "branches": [ { "name": "y" } ] } ] })");
    const auto& root = *tree.Root();
    EXPECT_EQ(Names(root), (NameList{"A", "Closed"}));
    EXPECT_EQ(Names(*root.children[0]), (NameList{"A1"}));
    EXPECT_TRUE(root.children[0]->children[0]->children.empty()) << "A1 is not a direct position";
    EXPECT_TRUE(root.children[1]->children.empty());
}

TEST_F(BrowseTreeTest, TwoHundredFiftyBranchesComeInThreeBatchesWithTheirItemIds) {
    std::string branches;
    for (int i = 0; i < 250; ++i) branches += std::string(i ? "," : "") + "{\"name\":\"b" + std::to_string(1000 + i) + "\"}";
    const BrowseTree& tree = Build(R"({ "branches": [ { "name": "Top", "branches": [)" + branches + "] } ] }");
    const auto& top = *tree.Root()->children.at(0);
    ASSERT_EQ(top.children.size(), 250u);
    EXPECT_EQ(top.children[249]->id, 250);
    EXPECT_EQ(top.children[249]->record.itemId, "Top.b1249") << "the ids of later batches are asked at this level";
    // One Next for the top level (one name), three for Top's 250; the leaves' branch lists
    // are empty (S_FALSE) and need none.
    EXPECT_EQ(sim_->Calls("Next").size(), 4u);
    EXPECT_EQ(LogText().find("[Error]"), std::string::npos);
}

TEST_F(BrowseTreeTest, ABranchLeadingBackToItsAncestorIsNotEntered) {
    const BrowseTree& tree = Build(R"({ "branches": [ { "name": "Top", "branches": [
        { "name": "Sub", "branches": [ { "link": "Top" } ] }, { "link": "Top.Sub" } ] } ] })");
    const auto& top = *tree.Root()->children.at(0);
    EXPECT_EQ(Names(top), (NameList{"Top.Sub", "Top.Sub"}));
    EXPECT_EQ(Names(*top.children[0]), (NameList{"Top"}));
    EXPECT_TRUE(top.children[0]->children[0]->children.empty());
    const std::string log = LogText();
    EXPECT_NE(log.find("[Error]\r\nBrowseBranches: the branch Top leads back to one of its ancestors; it is not entered."),
              std::string::npos);
    EXPECT_EQ(log.find("the branch Top.Sub leads back"), std::string::npos) << "a repeat elsewhere is no cycle";
    EXPECT_NE(log.find("leads back", log.find("the branch Top leads back") + 1), std::string::npos)
        << "the second visit of Top.Sub stops at Top again";
}

TEST_F(BrowseTreeTest, AServerWithoutBranches) {
    const BrowseTree& tree = Build(R"({ "items": [ { "name": "x" } ] })");
    EXPECT_TRUE(tree.Root()->children.empty());
    EXPECT_TRUE(noBranches_);
    EXPECT_TRUE(sim_->Calls("GetItemID").empty());
}

TEST_F(BrowseTreeTest, FailuresThatStopTheBuild) {
    try {
        Build(R"({ "server": { "failCalls": { "CreateBrowse": "0x80004005" } } })");
        ADD_FAILURE() << "no exception";
    } catch (const kesti::Exception& e) {
        EXPECT_EQ(e.Message().rfind("Could not create the OPC browser: ", 0), 0u) << e.Message();
    }
    OPCServerInfo missing;
    missing.address = OPCURL::Parse("opchda://localhost/X/{0BADC0DE-0000-0000-0000-000000000001}");
    BrowseTree tree;
    bool noBranches = false;
    try {
        BuildBrowseTree(missing, tree, noBranches);
        ADD_FAILURE() << "no exception";
    } catch (const kesti::Exception& e) {
        EXPECT_EQ(e.Message().rfind("NvCreateInstanceEx failed: ", 0), 0u) << e.Message();
    }
}

TEST_F(BrowseTreeTest, TheProxyConnectsOnceAndOnlyWhenConfigured) {
    sim_ = std::make_unique<SimulationServer>(R"({ "items": [ { "name": "x" } ] })");
    OpcHdaProxy proxy;
    EXPECT_THROW(proxy.Connect(), Exception);
    EXPECT_EQ(LogText().find("Open OPC Server."), std::string::npos);
    proxy.SetConnection("", "", "", kSimulationServerUrl);
    ASSERT_NO_THROW(proxy.Connect());
    EXPECT_TRUE(proxy.IsConnected());
    const std::size_t size = LogText().size();
    EXPECT_NO_THROW(proxy.Connect());
    EXPECT_EQ(LogText().size(), size) << "a second Connect logs nothing";
    EXPECT_EQ(proxy.BrowseTags("OPC", "").size(), 1u);
    EXPECT_EQ(proxy.ServerDisplayName(), "OpcHdaSim.Server");
    proxy.Disconnect();
    EXPECT_FALSE(proxy.IsConnected());
    EXPECT_TRUE(sim_->Calls("ReleaseItemHandles").empty());
    EXPECT_TRUE(OpcHdaProxy::IsHostReachable(""));
    EXPECT_TRUE(OpcHdaProxy::IsHostReachable("another-machine")) << "under Wine every host says: not registered";
}

} // namespace
} // namespace kesti::test
