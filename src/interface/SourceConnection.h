#pragma once
// One open connection of the host: its top nodes (and, through them, the whole tree).
#include <memory>
#include <vector>

#include "model/Node.h"

namespace kesti {

class SourceConnection {
public:
    SourceConnection() = default;
    SourceConnection(const SourceConnection&) = delete;
    SourceConnection& operator=(const SourceConnection&) = delete;

    const std::vector<std::unique_ptr<Node>>& Nodes() const { return nodes_; }
    void AddNode(std::unique_ptr<Node> node) { nodes_.push_back(std::move(node)); }

private:
    std::vector<std::unique_ptr<Node>> nodes_;
};

} // namespace kesti
