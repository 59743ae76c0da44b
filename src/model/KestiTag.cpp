#include "model/KestiTag.h"

#include "model/Node.h"

namespace kesti {

Tag::Tag(Node& node, std::string name, std::string itemId)
    : KestiTag(std::move(name)), node_(node), itemId_(std::move(itemId)) {}

std::int64_t Tag::RaiseUpdateTime(std::int64_t t) {
    const std::int64_t previous = updateTime_;
    if (t > updateTime_) updateTime_ = t;
    return previous;
}

ArrayTag::ArrayTag(ArrayNode& node, std::string name, std::uint32_t elementIndex)
    : Tag(node, std::move(name), std::string()), array_(node), elementIndex_(elementIndex) {}

std::string ArrayTag::GetItemId() const { return array_.ItemId(); }
std::int64_t ArrayTag::GetUpdateTime() const { return array_.GetUpdateTime(); }
std::int64_t ArrayTag::RaiseUpdateTime(std::int64_t t) { return array_.RaiseUpdateTime(t); }
std::uint32_t ArrayTag::GetServerHandle() const { return array_.GetServerHandle(); }
void ArrayTag::SetServerHandle(std::uint32_t handle) { array_.SetServerHandle(handle); }
bool ArrayTag::HasServerHandle() const { return array_.HasServerHandle(); }
bool ArrayTag::HandleFailed() const { return array_.HandleFailed(); }
void ArrayTag::MarkHandleFailed() { array_.MarkHandleFailed(); }
void ArrayTag::ForgetServerHandle() { array_.ForgetServerHandle(); }

} // namespace kesti
