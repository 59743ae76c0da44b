// The browsing, batch and discrete exports over a tree built in-process.
#include <gtest/gtest.h>

#include "TempDataFolder.h"
#include "interface/Handles.h"
#include "interface/OpcHDAKesti.h"

namespace kesti::test {
namespace {

class TreeExportsTest : public TempDataFolderTest {
protected:
    void SetUp() override {
        TempDataFolderTest::SetUp();
        connection_ = new SourceConnection();
        auto top = std::make_unique<Node>(connection_, "Server");
        for (const char* name : {"A", "B", "C"}) {
            auto node = std::make_unique<Node>(connection_, name);
            node->AddTag(std::make_unique<Tag>(*node, std::string(name) + ".t1", std::string(name) + ".t1"));
            node->AddTag(std::make_unique<Tag>(*node, std::string(name) + ".t2", std::string(name) + ".t2"));
            top->AddChild(std::move(node));
        }
        top->Children()[0]->AddChild(std::make_unique<ArrayNode>(connection_, "Vector", "A.vector",
                                                                 std::vector<std::string>{"v_1", "v_2", "v_3"}));
        connection_->AddNode(std::move(top));
    }
    void TearDown() override {
        EXPECT_EQ(kesti2_connectionClose(ToHandle(connection_)), ResultOk);
        TempDataFolderTest::TearDown();
    }

    ConnectionHandle Connection() const { return ToHandle(connection_); }
    Node& Top() const { return *connection_->Nodes()[0]; }
    TagHandle TagOf(int node, int tag) const { return ToHandle(Top().Children()[node]->Tags()[tag].get()); }

private:
    SourceConnection* connection_ = nullptr;
};

std::string Text(StringHandle s) {
    uint32_t length = 64;
    char buffer[64];
    EXPECT_EQ(kesti2_stringCopy(s, buffer, &length), ResultOk);
    kesti2_stringFree(s);
    return std::string(buffer, length);
}

TEST_F(TreeExportsTest, WalksNodesAndTagsInOrder) {
    uint32_t count = 0;
    ASSERT_EQ(kesti2_connectionGetNumNodes(Connection(), &count), ResultOk);
    EXPECT_EQ(count, 1u);
    NodeHandle top = nullptr;
    EXPECT_EQ(kesti2_connectionGetNode(Connection(), 1, &top), ResultInvalidArgument);
    EXPECT_EQ(top, nullptr);
    ASSERT_EQ(kesti2_connectionGetNode(Connection(), 0, &top), ResultOk);
    StringHandle name = nullptr;
    ASSERT_EQ(kesti2_nodeGetName(top, &name), ResultOk);
    EXPECT_EQ(Text(name), "Server");
    ASSERT_EQ(kesti2_nodeGetNumTags(top, &count), ResultOk);
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(kesti2_nodeGetNumNodes(top, &count), ResultOk);
    EXPECT_EQ(count, 3u);

    NodeHandle b = nullptr;
    ASSERT_EQ(kesti2_nodeGetNode(top, 1, &b), ResultOk);
    EXPECT_EQ(kesti2_nodeGetNode(top, 3, &b), ResultInvalidArgument);
    TagHandle tag = nullptr;
    ASSERT_EQ(kesti2_nodeGetTag(b, 1, &tag), ResultOk);
    EXPECT_EQ(kesti2_nodeGetTag(b, 2, &tag), ResultInvalidArgument);
    ASSERT_EQ(kesti2_tagGetName(tag, &name), ResultOk);
    EXPECT_EQ(Text(name), "B.t2");
    uint32_t updated = 99;
    ASSERT_EQ(kesti2_tagGetUpdateTime(tag, &updated), ResultOk);
    EXPECT_EQ(updated, 0u);
}

TEST_F(TreeExportsTest, BatchWriteLogsOnceForEachNodeAtDebugLevel) {
    VectorHandle row = nullptr;
    ASSERT_EQ(kesti2_vectorCreate(4, &row), ResultOk);
    const TagHandle tags[] = {TagOf(0, 0), TagOf(1, 0), TagOf(2, 1), TagOf(0, 1)};
    SetLogLevel(3);
    EXPECT_EQ(kesti2_connectionWriteBatchDataEx(Connection(), tags, 4, "batch", 10, row), ResultOk);
    EXPECT_EQ(LogText().find("WriteBatchData"), std::string::npos);
    SetLogLevel(4);
    EXPECT_EQ(kesti2_connectionWriteBatchData(Connection(), tags, 4, "batch", row), ResultOk);
    const std::string log = LogText();
    std::size_t records = 0;
    for (auto at = log.find("WriteBatchData was called, but is not implemented"); at != std::string::npos;
         at = log.find("WriteBatchData was called", at + 1))
        ++records;
    EXPECT_EQ(records, 3u);
    EXPECT_EQ(kesti2_connectionWriteBatchDataEx(Connection(), tags, 3, "batch", 10, row), ResultInvalidArgument);
    kesti2_vectorFree(row);
}

TEST_F(TreeExportsTest, BatchReadGivesOnlyMissingValues) {
    const TagHandle tags[] = {TagOf(0, 0), TagOf(2, 1)};
    VectorHandle values = nullptr;
    ASSERT_EQ(kesti2_connectionReadBatchData(Connection(), tags, 2, "batch", &values), ResultOk);
    uint32_t length = 0, type = 9;
    kesti2_vectorGetLength(values, &length);
    EXPECT_EQ(length, 2u);
    kesti2_vectorGetType(values, 1, &type);
    EXPECT_EQ(type, 0u);
    kesti2_vectorFree(values);
    EXPECT_EQ(kesti2_connectionReadBatchDataEx(Connection(), tags, 2, "batch", -1, &values), ResultInvalidArgument);
    EXPECT_EQ(kesti2_connectionReadBatchDataEx(Connection(), tags, 2, nullptr, 0, &values), ResultInvalidArgument);
}

TEST_F(TreeExportsTest, BatchInquiriesOfANode) {
    NodeHandle node = ToHandle(Top().Children()[0].get());
    VectorHandle batches = reinterpret_cast<VectorHandle>(0x1);
    EXPECT_EQ(kesti2_nodeGetActiveBatches(node, 10, 5, &batches), ResultInvalidArgument);
    EXPECT_EQ(batches, reinterpret_cast<VectorHandle>(0x1));
    EXPECT_EQ(kesti2_nodeGetActiveBatches(node, 5, 10, &batches), ResultOk);
    EXPECT_EQ(batches, nullptr);

    uint32_t start = 0, end = 0;
    EXPECT_EQ(kesti2_nodeGetBatchTimes(node, "batch", -1, &start, &end), ResultInvalidArgument);
    EXPECT_EQ(kesti2_nodeGetBatchTimes(node, "batch", 0, &start, &end), ResultOk);
    EXPECT_EQ(start, 4294967295u);
    EXPECT_EQ(end, 4294967295u);
}

TEST_F(TreeExportsTest, ReadAndWriteArgumentChecksComeFirstAndLogNothing) {
    const TagHandle tags[] = {TagOf(0, 0), nullptr};
    VectorHandle rows[3] = {};
    EXPECT_EQ(kesti2_connectionReadHistoricalDataEx(Connection(), tags, 1, 0, -1, 3, rows), ResultInvalidArgument);
    EXPECT_EQ(kesti2_connectionReadHistoricalDataEx(Connection(), tags, 1, -1, 1, 3, rows), ResultInvalidArgument);
    EXPECT_EQ(kesti2_connectionReadHistoricalDataEx(Connection(), tags, 1, 0, 1, 0, rows), ResultInvalidArgument);
    EXPECT_EQ(kesti2_connectionReadHistoricalDataEx(Connection(), tags, 2, 0, 1, 3, rows), ResultInvalidArgument);
    EXPECT_EQ(kesti2_connectionReadCurrentData(Connection(), tags, 0, rows), ResultInvalidArgument);
    EXPECT_EQ(kesti2_connectionReadCurrentData(nullptr, tags, 1, rows), ResultInvalidArgument);
    EXPECT_EQ(rows[0], nullptr);

    VectorHandle row = nullptr, shortRow = nullptr;
    kesti2_vectorCreate(1, &row);
    kesti2_vectorCreate(2, &shortRow);
    const VectorHandle writeRows[] = {row, shortRow};
    EXPECT_EQ(kesti2_connectionWriteHistoricalDataEx(Connection(), tags, 1, 0, 1, 2, writeRows),
              ResultInvalidArgument);
    const VectorHandle lastMissing[] = {row, nullptr};
    EXPECT_EQ(kesti2_connectionWriteHistoricalDataEx(Connection(), tags, 1, 0, 1, 2, lastMissing),
              ResultInvalidArgument);
    EXPECT_EQ(kesti2_connectionWriteHistoricalData(Connection(), tags, 1, -5, row), ResultInvalidArgument);
    kesti2_vectorFree(row);
    kesti2_vectorFree(shortRow);
    EXPECT_EQ(LogText().find("Operation failed"), std::string::npos);
}

TEST_F(TreeExportsTest, CurrentTimeIsTheMachinesUtcSeconds) {
    uint32_t now = 0;
    const auto before = static_cast<uint32_t>(std::time(nullptr));
    ASSERT_EQ(kesti2_connectionGetCurrentTime(Connection(), &now), ResultOk);
    EXPECT_GE(now, before);
    EXPECT_LE(now, before + 2);
    EXPECT_EQ(kesti2_connectionGetCurrentTime(nullptr, &now), ResultInvalidArgument);
}

} // namespace
} // namespace kesti::test
