#include "model/TagReading.h"

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "model/ItemHandles.h"
#include "model/ItemSampler.h"
#include "model/NodeFailure.h"

namespace kesti {
namespace {

// The read's values, item by item, to the items' samplers.
class TableSink : public RawValueSink {
public:
    TableSink(const std::vector<ServerItem>& items, const RowTimes& times, ValueTable& table) {
        const bool debug = GetLogLevel() >= LogDebug;
        samplers_.reserve(items.size());
        for (const ServerItem& item : items) samplers_.emplace_back(item, times, table, debug);
    }

    void Take(std::size_t item, std::int64_t tick, DWORD quality, const VARIANT& value) override {
        samplers_[item].Take(tick, quality, value);
    }
    void KnownThrough(std::size_t item, std::int64_t tick) override { samplers_[item].KnownThrough(tick); }
    void AnswerEnds() override {
        for (ItemSampler& sampler : samplers_) sampler.KeepHeldValue();
    }
    void End(std::size_t item, const ItemOutcome& outcome) override { samplers_[item].End(outcome); }

private:
    std::vector<ItemSampler> samplers_;
};

RowTimes TimesOf(const ReadWindow& window) {
    RowTimes times;
    times.current = window.IsCurrent();
    times.first = times.current ? 0 : TicksOf(FileTimeFromTimePoint(window.start));
    times.step = (times.current || window.step.is_special()) ? 0 : window.step.total_microseconds() * 10;
    return times;
}

} // namespace

void ReadIntoTable(ServerSession& session, const std::vector<TagEntry>& request, const ReadWindow& window,
                   ValueTable& table) {
    RequestItems resolved;
    const bool resolvedOk = StepOrTell<Exception>([&] { resolved = ResolveItems(session, request); }, [](const Exception& e) {
        LogMessage(LogError, (boost::format("Could not update server handles for read: %1%") % e.Message()).str());
    });
    if (!resolvedOk) return;
    ReadRequest r = session.PrepareRead(window);
    const std::vector<ServerItem>& items = resolved.items;
    if (items.empty()) return; // nothing the server granted a handle for
    std::vector<OPCHANDLE> handles;
    for (const ServerItem& item : items) handles.push_back(item.handle);

    // A failed first call leaves this node's cells missing; other nodes are read.
    TableSink sink(items, TimesOf(window), table);
    StepOrTell<ComError>([&] { session.Read(window, r, handles, sink); },
                         [](const ComError& e) { LogMessage(LogError, e.Message()); });
}

} // namespace kesti
