#include "model/RequestRouting.h"

#include <set>
#include <unordered_map>

#include "base/Exception.h"
#include "model/Node.h"
#include "model/SourceConnection.h"

namespace kesti {

std::vector<NodeRequest> GroupTagsByNode(const std::vector<KestiTag*>& tags) {
    std::vector<NodeRequest> requests;
    std::unordered_map<const Node*, std::size_t> positionOfNode;
    for (std::size_t column = 0; column < tags.size(); ++column) {
        Tag* tag = dynamic_cast<Tag*>(tags[column]);
        if (tag == nullptr) throw InvalidArgument("A requested tag is not a tag of this plug-in.");
        Node* node = &tag->OwningNode();
        auto [position, isNew] = positionOfNode.try_emplace(node, requests.size());
        if (isNew) requests.push_back(NodeRequest{node, {}});
        requests[position->second].entries.push_back(TagEntry{tag, column});
    }
    return requests;
}

void AllowOneReconnect(const std::vector<NodeRequest>& requests) {
    std::set<OpcHdaProxy*> proxies;
    for (const NodeRequest& request : requests)
        if (SourceConnection* connection = request.node->Connection(); connection != nullptr && connection->Proxy())
            proxies.insert(connection->Proxy());
    for (OpcHdaProxy* proxy : proxies) proxy->AllowOneReconnect();
}

} // namespace kesti
