#include "model/Tag.h"

#include "model/Node.h"

namespace kesti {

Tag::Tag(Node& owner, std::string name, std::string itemId)
    : owner_(owner), name_(std::move(name)), itemId_(std::move(itemId)), updateTime_(&ownUpdateTime_) {}

Tag::Tag(ArrayNode& array, std::string name, std::uint32_t elementIndex)
    : owner_(array), array_(&array), name_(std::move(name)), elementIndex_(elementIndex),
      updateTime_(&array.ElementsUpdateTime()) {}

const std::string& Tag::ItemId() const { return array_ != nullptr ? array_->ItemId() : itemId_; }

} // namespace kesti
