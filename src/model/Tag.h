#pragma once
// A tag of the node and tag tree: its name, the item id it reads and writes, and for an
// element of an array item, its position in the array. The server handle of the item lives
// in the connection's item cache, never here.
#include <atomic>
#include <cstdint>
#include <string>

namespace kesti {

class Node;
class ArrayNode;

// The newest time a tag's value was read as current or written at, in seconds since 1970.
// Read by the host's thread while the connection's thread raises it, so it is atomic; the
// element tags of one array share one.
class UpdateTime {
public:
    std::int64_t Get() const noexcept { return seconds_.load(); }
    // Keeps the later of the stored time and t.
    void Raise(std::int64_t t) noexcept {
        std::int64_t stored = seconds_.load();
        while (t > stored && !seconds_.compare_exchange_weak(stored, t)) {
        }
    }

private:
    std::atomic<std::int64_t> seconds_{0};
};

class Tag {
public:
    // A tag of one server item.
    Tag(Node& owner, std::string name, std::string itemId);
    // Element `elementIndex` of the array item of `array`.
    Tag(ArrayNode& array, std::string name, std::uint32_t elementIndex);
    Tag(const Tag&) = delete;
    Tag& operator=(const Tag&) = delete;

    const std::string& Name() const { return name_; }
    // The array's item id for an element.
    const std::string& ItemId() const;
    // The node whose request serves this tag.
    Node& OwningNode() const { return owner_; }

    bool IsArrayElement() const { return array_ != nullptr; }
    // For an array element only.
    const ArrayNode& Array() const { return *array_; }
    std::uint32_t ElementIndex() const { return elementIndex_; }

    std::int64_t GetUpdateTime() const { return updateTime_->Get(); }
    void RaiseUpdateTime(std::int64_t t) { updateTime_->Raise(t); }

private:
    Node& owner_;
    const ArrayNode* array_ = nullptr;
    std::string name_;
    std::string itemId_; // a plain tag's
    std::uint32_t elementIndex_ = 0;
    UpdateTime ownUpdateTime_;
    UpdateTime* updateTime_; // the tag's own, or its array's, shared by the array's elements
};

} // namespace kesti
