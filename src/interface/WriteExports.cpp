// Writing historical rows and batches of the host's tags.
#include "base/Log.h"
#include "interface/CallGuard.h"
#include "interface/Handles.h"
#include "interface/TagArguments.h"
#include "model/RequestRouting.h"

using namespace kesti;

namespace {

bool HasLength(VectorHandle row, uint32_t count) { return row != nullptr && FromHandle(row)->Length() == count; }

bool AllRowsFit(const VectorHandle* rows, uint32_t rowCount, uint32_t count) {
    for (uint32_t r = 0; r < rowCount; ++r)
        if (!HasLength(rows[r], count)) return false;
    return true;
}

} // namespace

extern "C" {

KestiResult KESTI_CALL kesti2_connectionWriteHistoricalDataEx(ConnectionHandle connection, const TagHandle* tags,
                                                              uint32_t count, int32_t start, int32_t step,
                                                              uint32_t rows, const VectorHandle* rowValues) {
    if (connection == nullptr || tags == nullptr || rowValues == nullptr || count == 0 || start < 0 || step < 0 ||
        rows == 0)
        return ResultInvalidArgument;
    if (!AllTagsPresent(tags, count) || !AllRowsFit(rowValues, rows, count)) return ResultInvalidArgument;
    return LoggingGuard("kesti2_connectionWriteHistoricalDataEx", [&] {
        std::vector<const ValueVector*> rowList;
        for (uint32_t r = 0; r < rows; ++r) rowList.push_back(FromHandle(rowValues[r]));
        const std::vector<NodeRequest> requests = GroupTagsByNode(TagList(tags, count));
        ReconnectBudget budget; // one reconnect per connection in this call
        for (const NodeRequest& request : requests)
            request.node->WriteHistoricalData(request.entries, start, step, rowList, budget);
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_connectionWriteHistoricalData(ConnectionHandle connection, const TagHandle* tags,
                                                            uint32_t count, int32_t time, VectorHandle row) {
    return kesti2_connectionWriteHistoricalDataEx(connection, tags, count, time, 0, 1, &row);
}

KestiResult KESTI_CALL kesti2_connectionWriteBatchDataEx(ConnectionHandle connection, const TagHandle* tags,
                                                         uint32_t count, const char* batch, int32_t time,
                                                         VectorHandle row) {
    if (connection == nullptr || tags == nullptr || batch == nullptr || row == nullptr || count == 0 || time < 0)
        return ResultInvalidArgument;
    if (!HasLength(row, count) || !AllTagsPresent(tags, count)) return ResultInvalidArgument;
    return LoggingGuard("kesti2_connectionWriteBatchDataEx", [&] {
        for (const NodeRequest& request : GroupTagsByNode(TagList(tags, count)))
            request.node->WriteBatchData(request.entries, batch, time);
        return ResultOk;
    });
}

KestiResult KESTI_CALL kesti2_connectionWriteBatchData(ConnectionHandle connection, const TagHandle* tags,
                                                       uint32_t count, const char* batch, VectorHandle row) {
    return kesti2_connectionWriteBatchDataEx(connection, tags, count, batch,
                                             static_cast<int32_t>(CurrentBoundaryTime()), row);
}

KestiResult KESTI_CALL kesti2_connectionWriteDiscreteData(void) { return ResultNotSupported; }

} // extern "C"
