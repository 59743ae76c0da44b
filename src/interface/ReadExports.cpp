// Reading current values, historical rows and batches of the host's tags.
#include <memory>

#include "base/Log.h"
#include "interface/CallGuard.h"
#include "interface/Handles.h"
#include "interface/TagArguments.h"
#include "model/RequestRouting.h"
#include "model/ValueTable.h"

using namespace kesti;

namespace {

bool ValidReadArguments(ConnectionHandle connection, const TagHandle* tags, uint32_t count, const void* out) {
    return connection != nullptr && tags != nullptr && out != nullptr && count > 0 && AllTagsPresent(tags, count);
}


} // namespace

extern "C" {

KestiResult KESTI_CALL kesti2_connectionReadCurrentData(ConnectionHandle connection, const TagHandle* tags,
                                                        uint32_t count, VectorHandle* values) {
    if (!ValidReadArguments(connection, tags, count, values)) return ResultInvalidArgument;
    return LoggingGuard("kesti2_connectionReadCurrentData", [&] {
        ValueTable table(1, count);
        auto result = std::make_unique<ValueVector>(count);
        const std::vector<NodeRequest> requests = GroupTagsByNode(TagList(tags, count));
        ReconnectBudget budget; // one reconnect per connection in this call
        for (const NodeRequest& request : requests) {
            request.node->ReadCurrentData(table, request.entries, budget);
            for (const TagEntry& entry : request.entries)
                result->Set(entry.column, table.Row(0).At(entry.column));
        }
        *values = ToHandle(result.release());
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_connectionReadHistoricalDataEx(ConnectionHandle connection, const TagHandle* tags,
                                                             uint32_t count, int32_t start, int32_t step,
                                                             uint32_t rows, VectorHandle* rowValues) {
    if (!ValidReadArguments(connection, tags, count, rowValues) || start < 0 || step < 0 || rows == 0)
        return ResultInvalidArgument;
    return LoggingGuard("kesti2_connectionReadHistoricalDataEx", [&] {
        ValueTable table(rows, count);
        const std::vector<NodeRequest> requests = GroupTagsByNode(TagList(tags, count));
        ReconnectBudget budget; // one reconnect per connection in this call
        for (const NodeRequest& request : requests)
            request.node->ReadHistoricalData(table, request.entries, start, step, budget);
        for (uint32_t r = 0; r < rows; ++r) rowValues[r] = ToHandle(table.TakeRow(r).release()); // no copy
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_connectionReadHistoricalData(ConnectionHandle connection, const TagHandle* tags,
                                                           uint32_t count, int32_t time, VectorHandle* values) {
    return kesti2_connectionReadHistoricalDataEx(connection, tags, count, time, 0, 1, values);
}

KestiResult KESTI_CALL kesti2_connectionReadBatchDataEx(ConnectionHandle connection, const TagHandle* tags,
                                                        uint32_t count, const char* batch, int32_t time,
                                                        VectorHandle* values) {
    if (!ValidReadArguments(connection, tags, count, values) || batch == nullptr || time < 0)
        return ResultInvalidArgument;
    return LoggingGuard("kesti2_connectionReadBatchDataEx", [&] {
        auto result = std::make_unique<ValueVector>(count);
        for (const NodeRequest& request : GroupTagsByNode(TagList(tags, count)))
            request.node->ReadBatchData(request.entries, batch, time);
        *values = ToHandle(result.release());
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_connectionReadBatchData(ConnectionHandle connection, const TagHandle* tags,
                                                      uint32_t count, const char* batch, VectorHandle* values) {
    return kesti2_connectionReadBatchDataEx(connection, tags, count, batch,
                                            static_cast<int32_t>(CurrentBoundaryTime()), values);
}

KestiResult KESTI_CALL kesti2_connectionReadDiscreteData(void) { return ResultNotSupported; }

} // extern "C"
