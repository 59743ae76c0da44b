#pragma once
// The nodes of a connection's tree: the top node, configured nodes and array nodes. A node
// owns its tags and child nodes; an ArrayNode holds the item shared by its element tags.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/KestiTag.h"
#include "model/TagEntry.h"
#include "model/ValueTable.h"

namespace kesti {

class SourceConnection;

class Node {
public:
    Node(SourceConnection* connection, std::string name, std::string itemId);
    virtual ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& ItemId() const { return itemId_; }
    SourceConnection* Connection() const { return connection_; }

    const std::vector<std::unique_ptr<KestiTag>>& Tags() const { return tags_; }
    const std::vector<std::unique_ptr<Node>>& Children() const { return children_; }
    KestiTag& AddTag(std::unique_ptr<KestiTag> tag);
    Node& AddChild(std::unique_ptr<Node> child);

    // Reads through the connection's proxy with one server call for all entries.
    void ReadCurrentData(ValueTable& table, const std::vector<TagEntry>& entries);
    void ReadHistoricalData(ValueTable& table, const std::vector<TagEntry>& entries, std::int32_t start,
                            std::int32_t step);

    void WriteHistoricalData(const std::vector<TagEntry>& entries, std::int32_t start, std::int32_t step,
                             const std::vector<const ValueVector*>& rows);

    // Batches are not supported by OPC HDA servers: these only log at Debug level.
    void ReadBatchData(const std::vector<TagEntry>& entries, const std::string& batch, std::int32_t time);
    void GetActiveBatches(std::int32_t from, std::int32_t to);
    void GetBatchTimes(const std::string& batch, std::int32_t n, std::uint64_t& start, std::uint64_t& end);
    void WriteBatchData(const std::vector<TagEntry>& entries, const std::string& batch, std::int32_t time);

    // Seconds since 1970: the current time for a plain node.
    virtual std::int64_t GetUpdateTime() const;
    virtual std::int64_t RaiseUpdateTime(std::int64_t t);
    virtual std::uint32_t GetServerHandle() const { return kNoServerHandle; }
    virtual void SetServerHandle(std::uint32_t) {}
    virtual bool HasServerHandle() const { return false; }
    // Forgets the server handles of every tag of this node and of the nodes below it.
    void ForgetServerHandles();

private:
    SourceConnection* connection_;
    std::string name_;
    std::string itemId_;
    std::vector<std::unique_ptr<KestiTag>> tags_;
    std::vector<std::unique_ptr<Node>> children_;
};

class ArrayNode : public Node {
public:
    // One ArrayTag per name, at the name's position in the array value.
    ArrayNode(SourceConnection* connection, std::string name, std::string itemId,
              const std::vector<std::string>& elementNames);

    std::int64_t GetUpdateTime() const override { return updateTime_; }
    std::int64_t RaiseUpdateTime(std::int64_t t) override;
    std::uint32_t GetServerHandle() const override { return serverHandle_; }
    void SetServerHandle(std::uint32_t handle) override { serverHandle_ = handle; }
    bool HasServerHandle() const override { return serverHandle_ < kNoServerHandle; }
    bool HandleFailed() const { return handleFailed_; }
    void MarkHandleFailed() { handleFailed_ = true; }
    void ForgetServerHandle() {
        serverHandle_ = kNoServerHandle;
        handleFailed_ = false;
    }
    // The number of elements the array value must have.
    std::size_t ElementCount() const { return Tags().size(); }

private:
    bool handleFailed_ = false;
    std::uint32_t serverHandle_ = kNoServerHandle;
    std::int64_t updateTime_ = 0;
};

} // namespace kesti
