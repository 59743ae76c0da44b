#pragma once
// The tags of the node and tag tree. A Tag is one server item; an ArrayTag is one element of
// an array item and forwards its item id, server handle and update time to its ArrayNode.
#include <cstdint>
#include <string>

namespace kesti {

class Node;
class ArrayNode;

constexpr std::uint32_t kNoServerHandle = 0xFFFFFFFFu;

class KestiTag {
public:
    explicit KestiTag(std::string name) : name_(std::move(name)) {}
    virtual ~KestiTag() = default;
    KestiTag(const KestiTag&) = delete;
    KestiTag& operator=(const KestiTag&) = delete;

    const std::string& Name() const { return name_; }

private:
    std::string name_;
};

class Tag : public KestiTag {
public:
    Tag(Node& node, std::string name, std::string itemId);

    virtual std::string GetItemId() const { return itemId_; }
    virtual std::int64_t GetUpdateTime() const { return updateTime_; }
    // Keeps the later of the stored time and t; gives the time stored before.
    virtual std::int64_t RaiseUpdateTime(std::int64_t t);
    virtual std::uint32_t GetServerHandle() const { return serverHandle_; }
    virtual void SetServerHandle(std::uint32_t handle) { serverHandle_ = handle; }
    virtual bool HasServerHandle() const { return serverHandle_ < kNoServerHandle; }
    virtual bool IsArrayElement() const { return false; }
    // The server refused a handle for the item: nothing is sent for it for the life of the
    // connection, and no handle of it is released.
    virtual bool HandleFailed() const { return handleFailed_; }
    virtual void MarkHandleFailed() { handleFailed_ = true; }
    // The server that granted or refused the handle is gone: the next call asks again.
    virtual void ForgetServerHandle() {
        serverHandle_ = kNoServerHandle;
        handleFailed_ = false;
    }

    // The node whose request serves this tag.
    Node& OwningNode() const { return node_; }

private:
    Node& node_;
    std::string itemId_;
    std::uint32_t serverHandle_ = kNoServerHandle;
    std::int64_t updateTime_ = 0;
    bool handleFailed_ = false;
};

class ArrayTag : public Tag {
public:
    ArrayTag(ArrayNode& node, std::string name, std::uint32_t elementIndex);

    std::string GetItemId() const override;
    std::int64_t GetUpdateTime() const override;
    std::int64_t RaiseUpdateTime(std::int64_t t) override;
    std::uint32_t GetServerHandle() const override;
    void SetServerHandle(std::uint32_t handle) override;
    bool HasServerHandle() const override;
    bool IsArrayElement() const override { return true; }
    bool HandleFailed() const override;
    void MarkHandleFailed() override;
    void ForgetServerHandle() override;

    std::uint32_t ElementIndex() const { return elementIndex_; }
    ArrayNode& Array() const { return array_; }

private:
    ArrayNode& array_;
    std::uint32_t elementIndex_;
};

} // namespace kesti
