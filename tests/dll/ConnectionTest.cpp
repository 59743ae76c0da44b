// Opening connections to the out-of-process simulation server through the DLL's exports,
// with configuration files written by the test, and walking the tree they build.
#include "dll/ConnectionFixture.h"

namespace kesti::test {
namespace {

const char* const kPlant = R"({
  "branches": [
    { "name": "Area1", "items": [ { "name": "a" }, { "name": "b" } ] },
    { "name": "Area2", "items": [ { "name": "c" }, { "name": "vec", "type": "VT_ARRAY|VT_R4" } ] }
  ] })";

using Tags = std::vector<std::string>;

TEST_F(ConnectionTest, OpensBrowsesTheConfiguredNodesInOrderAndCloses) {
    SimulationServer sim(kPlant);
    WriteConfiguration(kSimulationServerUrl, {{"Area2", "Area2"}, {"Area1", "Area1"}});
    ConnectionHandle connection = Open();
    ASSERT_NE(connection, nullptr);
    const NodeView top = Tree(connection);
    EXPECT_EQ(top.name, "OpcHdaSim.Server");
    EXPECT_TRUE(top.tags.empty());
    ASSERT_EQ(top.children.size(), 2u);
    EXPECT_EQ(top.children[0].name, "Area2");
    EXPECT_EQ(top.children[0].tags, (Tags{"Area2.c", "Area2.vec"}));
    EXPECT_EQ(top.children[1].tags, (Tags{"Area1.a", "Area1.b"}));
    EXPECT_EQ(Dll().kesti2_connectionClose(connection), ResultOk);
    EXPECT_TRUE(sim.Calls("ReleaseItemHandles").empty()) << "no handles were obtained";
    EXPECT_EQ(sim.Calls("CreateBrowse").size(), 2u) << "one browse per configured node";
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    // A parsed address carries no ProgID of its own: the record names the host alone.
    EXPECT_NE(log.find("[Information]\r\nConnected to server localhost ()."), std::string::npos) << log;
}

TEST_F(ConnectionTest, TheWholeServerNodeListsEveryItemFlat) {
    SimulationServer sim(kPlant);
    WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}});
    ConnectionHandle connection = Open();
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(Tree(connection).children.at(0).tags, (Tags{"Area1.a", "Area1.b", "Area2.c", "Area2.vec"}));
    Dll().kesti2_connectionClose(connection);
}

TEST_F(ConnectionTest, ADeclaredArrayTagBecomesANodeOfElementTags) {
    SimulationServer sim(kPlant);
    WriteConfiguration(kSimulationServerUrl, {{"Area2", "Area2"}},
                       "<arraynode tag=\"Area2.vec\" size=\"3\" prefix=\"zone_\"><arraytag>first</arraytag>"
                       "<arraytag>second</arraytag><arraytag>third</arraytag></arraynode>\n");
    ConnectionHandle connection = Open();
    ASSERT_NE(connection, nullptr);
    const NodeView area = Tree(connection).children.at(0);
    EXPECT_EQ(area.tags, (Tags{"Area2.c"}));
    ASSERT_EQ(area.children.size(), 1u);
    EXPECT_EQ(area.children[0].name, "Area2.vec");
    EXPECT_EQ(area.children[0].tags, (Tags{"first", "second", "third"}));
    Dll().kesti2_connectionClose(connection);
    EXPECT_NE(ReadLog("OPCHDAKestiLog.log").find("Added array node Area2.vec with 3 tags."), std::string::npos);
}

TEST_F(ConnectionTest, AnAbsurdArraySizeIsSkippedAndTheConnectionOpensWithoutIt) {
    SimulationServer sim(kPlant);
    const char* const sizes[] = {"2147483647", "2147483648", "4294967295", "18446744073709551615",
                                 "12345678901234567890123456789012345678"};
    std::string arrayNodes;
    for (const char* size : sizes) arrayNodes += std::string("<arraynode tag=\"Area2.vec\" size=\"") + size + "\"/>\n";
    WriteConfiguration(kSimulationServerUrl, {{"Area2", "Area2"}}, arrayNodes);
    ConnectionHandle connection = Open(); // before the limit, this ran for minutes
    ASSERT_NE(connection, nullptr);
    const NodeView area = Tree(connection).children.at(0);
    EXPECT_EQ(area.tags, (Tags{"Area2.c", "Area2.vec"})) << "the array stays an ordinary tag";
    EXPECT_TRUE(area.children.empty());
    Dll().kesti2_connectionClose(connection);
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    for (const char* size : sizes)
        EXPECT_NE(log.find(std::string("[Error]\r\nIgnoring the ArrayNode of tag Area2.vec: its size ") + size +
                           " is larger than the largest array of 65536 elements."),
                  std::string::npos)
            << size;
}

TEST_F(ConnectionTest, ANodeThatCannotBeBrowsedStaysWithoutTags) {
    SimulationServer sim(kPlant);
    WriteConfiguration(kSimulationServerUrl, {{"Nowhere", "Nowhere"}, {"Area1", "Area1"}});
    ConnectionHandle connection = Open();
    ASSERT_NE(connection, nullptr);
    const NodeView top = Tree(connection);
    EXPECT_TRUE(top.children.at(0).tags.empty());
    EXPECT_EQ(top.children.at(1).tags.size(), 2u);
    Dll().kesti2_connectionClose(connection);
    EXPECT_NE(ReadLog("OPCHDAKestiLog.log")
                  .find("[Warning]\r\nkesti2_connectionOpen:Node: Operation Load Tags failed "
                        "(IOPCHDA_Browser::ChangeBrowsePosition failed: "),
              std::string::npos);
}

TEST_F(ConnectionTest, AServerThatCannotBeLoadedFailsTheOpen) {
    SimulationServer sim(kPlant);
    WriteConfiguration("opchda://localhost/Not.There/{0BADC0DE-0000-0000-0000-000000000001}", {{"OPC", ""}});
    int host = 0;
    ConnectionHandle connection = nullptr;
    EXPECT_EQ(Dll().kesti2_connectionOpen(&host, &connection), ResultFailed);
    EXPECT_EQ(connection, nullptr);
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_NE(log.find("[Error]\r\nNvCreateInstanceEx failed: "), std::string::npos);
    EXPECT_NE(log.find("kesti2_connectionOpen: Operation failed (Could not load server.)."), std::string::npos);
}

TEST_F(ConnectionTest, SeveralConnectionsAtOnce) {
    SimulationServer sim(kPlant);
    WriteConfiguration(kSimulationServerUrl, {{"Area1", "Area1"}});
    ConnectionHandle first = Open();
    ConnectionHandle second = Open();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Tree(first).children.at(0).tags, Tree(second).children.at(0).tags);
    Dll().kesti2_connectionClose(first);
    EXPECT_EQ(Tree(second).children.at(0).tags.size(), 2u);
    Dll().kesti2_connectionClose(second);
    EXPECT_EQ(sim.Calls("Activate").size(), 2u);
}

} // namespace
} // namespace kesti::test
