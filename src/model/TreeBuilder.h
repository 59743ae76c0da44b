#pragma once
// Builds a connection's tree: the top node for the server, one node per configured node with
// the tags its browse finds, and a node of element tags for every declared array tag.
#include <memory>

#include "config/Configuration.h"
#include "model/Node.h"

namespace kesti {

class SourceConnection;

std::unique_ptr<Node> BuildTopNode(SourceConnection& connection);
// A configured node with its tags; a browse that fails leaves it without tags (Warning).
std::unique_ptr<Node> BuildConfiguredNode(SourceConnection& connection, const ConfiguredNode& configured);

} // namespace kesti
