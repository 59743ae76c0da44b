#pragma once
// One open connection of the host: its own copy of the configuration, its OPC HDA proxy and
// the tree of nodes and tags built from both.
#include <memory>
#include <vector>

#include "config/Configuration.h"
#include "model/Node.h"
#include "opchda/OpcHdaProxy.h"

namespace kesti {

class SourceConnection {
public:
    // An empty connection, for tests that build a tree by hand.
    SourceConnection() = default;
    SourceConnection(const SourceConnection&) = delete;
    SourceConnection& operator=(const SourceConnection&) = delete;

    // Reads the configuration, connects to its server and builds the tree. Throws
    // "Could not load server." when the server cannot be reached or activated.
    static std::unique_ptr<SourceConnection> Open();

    const std::vector<std::unique_ptr<Node>>& Nodes() const { return nodes_; }
    void AddNode(std::unique_ptr<Node> node) { nodes_.push_back(std::move(node)); }
    const Configuration& Config() const { return configuration_; }
    // The connection's proxy; null for a connection built by hand.
    OpcHdaProxy* Proxy() const { return proxy_.get(); }

private:
    Configuration configuration_;
    std::unique_ptr<OpcHdaProxy> proxy_;
    std::vector<std::unique_ptr<Node>> nodes_; // destroyed before the proxy
};

} // namespace kesti
