// Reading current values, historical rows and batches of the host's tags.
#include <memory>

#include "config/Log.h"
#include "interface/CallGuard.h"
#include "interface/Handles.h"
#include "interface/TagArguments.h"
#include "model/RequestRouting.h"

using namespace kesti;

namespace {

bool ValidReadArguments(ConnectionHandle connection, const TagHandle* tags, uint32_t count, const void* out) {
    return connection != nullptr && tags != nullptr && out != nullptr && count > 0 && AllTagsPresent(tags, count);
}

[[noreturn]] void ReadingNotAvailable() {
    throw Exception("Reading from OPC HDA servers is not available in this build.");
}

} // namespace

extern "C" {

KestiResult KESTI_CALL kesti2_connectionReadCurrentData(ConnectionHandle connection, const TagHandle* tags,
                                                        uint32_t count, VectorHandle* values) {
    if (!ValidReadArguments(connection, tags, count, values)) return ResultInvalidArgument;
    return LoggingGuard("kesti2_connectionReadCurrentData", []() -> KestiResult { ReadingNotAvailable(); });
}

KestiResult KESTI_CALL kesti2_connectionReadHistoricalDataEx(ConnectionHandle connection, const TagHandle* tags,
                                                             uint32_t count, int32_t start, int32_t step,
                                                             uint32_t rows, VectorHandle* rowValues) {
    if (!ValidReadArguments(connection, tags, count, rowValues) || start < 0 || step < 0 || rows == 0)
        return ResultInvalidArgument;
    return LoggingGuard("kesti2_connectionReadHistoricalDataEx", []() -> KestiResult { ReadingNotAvailable(); });
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
