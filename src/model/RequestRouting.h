#pragma once
// Splits the host's tag list into one request per owning node, so that every node serves
// its tags with one call to the server.
#include <cstddef>
#include <utility>
#include <vector>

#include "model/Tag.h"
#include "model/TagEntry.h"

namespace kesti {

struct NodeRequest {
    Node* node;
    std::vector<TagEntry> entries; // in the order of the host's array
};

// Requests in the order in which their nodes first appear; a repeated tag gets each of its
// columns. Element tags of an array land in their ArrayNode's request.
std::vector<NodeRequest> GroupTagsByNode(const std::vector<Tag*>& tags);

} // namespace kesti
