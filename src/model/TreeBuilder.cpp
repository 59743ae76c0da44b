#include "model/TreeBuilder.h"

#include <boost/format.hpp>

#include "base/Exception.h"
#include "base/Log.h"
#include "model/SourceConnection.h"

namespace kesti {

std::unique_ptr<Node> BuildConfiguredNode(SourceConnection& connection, const ConfiguredNode& configured) {
    auto node = std::make_unique<Node>(&connection, configured.itemId);
    try {
        for (auto& [name, itemId] : connection.Proxy()->BrowseTags(configured.itemId, configured.browsePath)) {
            const std::vector<std::string> elements = FindArrayTagNames(connection.Config().arrayNodes, itemId);
            if (!elements.empty())
                node->AddChild(std::make_unique<ArrayNode>(&connection, name, itemId, elements));
            else
                node->AddTag(std::make_unique<Tag>(*node, name, itemId));
        }
    } catch (const Exception& e) {
        LogMessage(LogWarning,
                   (boost::format("kesti2_connectionOpen:Node: Operation Load Tags failed (%1%).") % e.Message()).str());
        return std::make_unique<Node>(&connection, configured.itemId); // without tags and children
    }
    return node;
}

std::unique_ptr<Node> BuildTopNode(SourceConnection& connection) {
    auto top = std::make_unique<Node>(&connection, connection.Proxy()->ServerDisplayName());
    for (const ConfiguredNode& configured : connection.Config().nodes)
        top->AddChild(BuildConfiguredNode(connection, configured));
    return top;
}

} // namespace kesti
