// Opening and closing connections, and walking their node and tag tree.
#include <ctime>

#include "base/Log.h"
#include "interface/CallGuard.h"
#include "interface/Handles.h"
#include "interface/TagArguments.h"

using namespace kesti;

namespace kesti {

std::uint32_t CurrentBoundaryTime() { return static_cast<std::uint32_t>(std::time(nullptr)); }

} // namespace kesti

extern "C" {

KestiResult KESTI_CALL kesti2_connectionOpen(void* host, ConnectionHandle* connection) {
    if (host == nullptr || connection == nullptr) return ResultInvalidArgument;
    return LoggingGuard("kesti2_connectionOpen", [&] {
        *connection = ToHandle(SourceConnection::Open().release());
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_connectionClose(ConnectionHandle connection) {
    delete FromHandle(connection);
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_connectionGetCurrentTime(ConnectionHandle connection, uint32_t* seconds) {
    if (connection == nullptr || seconds == nullptr) return ResultInvalidArgument;
    return SilentGuard([&] {
        *seconds = CurrentBoundaryTime();
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_connectionGetNumNodes(ConnectionHandle connection, uint32_t* count) {
    if (connection == nullptr || count == nullptr) return ResultInvalidArgument;
    *count = static_cast<uint32_t>(FromHandle(connection)->Nodes().size());
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_connectionGetNode(ConnectionHandle connection, uint32_t index, NodeHandle* node) {
    if (connection == nullptr || node == nullptr) return ResultInvalidArgument;
    const auto& nodes = FromHandle(connection)->Nodes();
    if (index >= nodes.size()) return ResultInvalidArgument;
    *node = ToHandle(nodes[index].get());
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_nodeGetName(NodeHandle node, StringHandle* name) {
    if (node == nullptr || name == nullptr) return ResultInvalidArgument;
    return SilentGuard([&] {
        *name = NewStringHandle(FromHandle(node)->Name());
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_nodeGetNumNodes(NodeHandle node, uint32_t* count) {
    if (node == nullptr || count == nullptr) return ResultInvalidArgument;
    *count = static_cast<uint32_t>(FromHandle(node)->Children().size());
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_nodeGetNode(NodeHandle node, uint32_t index, NodeHandle* child) {
    if (node == nullptr || child == nullptr) return ResultInvalidArgument;
    const auto& children = FromHandle(node)->Children();
    if (index >= children.size()) return ResultInvalidArgument;
    *child = ToHandle(children[index].get());
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_nodeGetNumTags(NodeHandle node, uint32_t* count) {
    if (node == nullptr || count == nullptr) return ResultInvalidArgument;
    *count = static_cast<uint32_t>(FromHandle(node)->Tags().size());
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_nodeGetTag(NodeHandle node, uint32_t index, TagHandle* tag) {
    if (node == nullptr || tag == nullptr) return ResultInvalidArgument;
    const auto& tags = FromHandle(node)->Tags();
    if (index >= tags.size()) return ResultInvalidArgument;
    *tag = ToHandle(tags[index].get());
    return ResultOk;
}

KestiResult KESTI_CALL kesti2_tagGetName(TagHandle tag, StringHandle* name) {
    if (tag == nullptr || name == nullptr) return ResultInvalidArgument;
    return SilentGuard([&] {
        *name = NewStringHandle(FromHandle(tag)->Name());
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_tagGetUpdateTime(TagHandle tag, uint32_t* seconds) {
    if (tag == nullptr || seconds == nullptr) return ResultInvalidArgument;
    return SilentGuard([&] {
        *seconds = static_cast<uint32_t>(FromHandle(tag)->GetUpdateTime());
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_nodeGetActiveBatches(NodeHandle node, int32_t from, int32_t to,
                                                   VectorHandle* batches) {
    if (node == nullptr || batches == nullptr || from < 0 || to < 0 || from > to) return ResultInvalidArgument;
    return LoggingGuard("kesti2_nodeGetActiveBatches", [&] {
        FromHandle(node)->GetActiveBatches(from, to);
        *batches = nullptr; // no batch list is given
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_nodeGetBatchTimes(NodeHandle node, const char* batch, int32_t n, uint32_t* startTime,
                                                uint32_t* endTime) {
    if (node == nullptr || batch == nullptr || startTime == nullptr || endTime == nullptr || n < 0)
        return ResultInvalidArgument;
    return LoggingGuard("kesti2_nodeGetBatchTimes", [&] {
        std::uint64_t start = ~0ULL;
        std::uint64_t end = ~0ULL;
        FromHandle(node)->GetBatchTimes(batch, n, start, end);
        *startTime = static_cast<uint32_t>(start);
        *endTime = static_cast<uint32_t>(end);
        return ResultOk;
    });
}

} // extern "C"
