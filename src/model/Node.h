#pragma once
// The nodes of a connection's tree: the top node, configured nodes and array nodes. A node
// owns its tags and child nodes; an ArrayNode is one array item whose elements are its tags.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/ReconnectBudget.h"
#include "model/Tag.h"
#include "model/TagEntry.h"
#include "model/ValueTable.h"

namespace kesti {

class SourceConnection;

class Node {
public:
    Node(SourceConnection* connection, std::string name);
    virtual ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // The name the host sees: the server's, a configured branch's item id, an array's.
    const std::string& Name() const { return name_; }
    SourceConnection* Connection() const { return connection_; }

    const std::vector<std::unique_ptr<Tag>>& Tags() const { return tags_; }
    const std::vector<std::unique_ptr<Node>>& Children() const { return children_; }
    Tag& AddTag(std::unique_ptr<Tag> tag);
    Node& AddChild(std::unique_ptr<Node> child);

    // Reads through the connection's proxy with one server call for all entries; a lost
    // server is connected again within the export call's budget.
    void ReadCurrentData(ValueTable& table, const std::vector<TagEntry>& entries, ReconnectBudget& budget);
    void ReadHistoricalData(ValueTable& table, const std::vector<TagEntry>& entries, std::int32_t start,
                            std::int32_t step, ReconnectBudget& budget);

    void WriteHistoricalData(const std::vector<TagEntry>& entries, std::int32_t start, std::int32_t step,
                             const std::vector<const ValueVector*>& rows, ReconnectBudget& budget);

    // Batches are not supported by OPC HDA servers: these only log at Debug level.
    void ReadBatchData(const std::vector<TagEntry>& entries, const std::string& batch, std::int32_t time);
    void GetActiveBatches(std::int32_t from, std::int32_t to);
    void GetBatchTimes(const std::string& batch, std::int32_t n, std::uint64_t& start, std::uint64_t& end);
    void WriteBatchData(const std::vector<TagEntry>& entries, const std::string& batch, std::int32_t time);

private:
    SourceConnection* connection_;
    std::string name_;
    std::vector<std::unique_ptr<Tag>> tags_;
    std::vector<std::unique_ptr<Node>> children_;
};

class ArrayNode : public Node {
public:
    // One element tag per name, at the name's position in the array value.
    ArrayNode(SourceConnection* connection, std::string name, std::string itemId,
              const std::vector<std::string>& elementNames);

    // The array item's id.
    const std::string& ItemId() const { return itemId_; }
    // The number of elements the array value must have.
    std::size_t ElementCount() const { return Tags().size(); }
    UpdateTime& ElementsUpdateTime() { return updateTime_; }

private:
    std::string itemId_;
    UpdateTime updateTime_;
};

} // namespace kesti
