#include "model/RequestRouting.h"

#include <unordered_map>

#include "model/Node.h"
#include "model/SourceConnection.h"

namespace kesti {

std::vector<NodeRequest> GroupTagsByNode(const std::vector<Tag*>& tags) {
    std::vector<NodeRequest> requests;
    std::unordered_map<const Node*, std::size_t> positionOfNode;
    for (std::size_t column = 0; column < tags.size(); ++column) {
        Tag* tag = tags[column];
        Node* node = &tag->OwningNode();
        auto [position, isNew] = positionOfNode.try_emplace(node, requests.size());
        if (isNew) requests.push_back(NodeRequest{node, {}});
        requests[position->second].entries.push_back(TagEntry{tag, column});
    }
    return requests;
}

} // namespace kesti
