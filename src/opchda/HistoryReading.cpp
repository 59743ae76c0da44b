#include "opchda/HistoryReading.h"

#include <algorithm>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "opchda/OpcHdaConstants.h"

namespace kesti {

bool HoldsItsValues(const OPCHDA_ITEM& item) {
    return item.dwCount == 0 || (item.pftTimeStamps != nullptr && item.pdwQualities != nullptr && item.pvDataValues != nullptr);
}

std::int64_t TicksOf(const FILETIME& ft) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

FILETIME FileTimeOfTicks(std::int64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32)};
}

std::int64_t RawSeries::Tick(std::size_t k) const {
    const Place place = Locate(k);
    return TicksOf(place.item->pftTimeStamps[place.position]);
}

const RawSeries::Run& RawSeries::RunOf(std::size_t k) const {
    if (runs_.size() == 1) return runs_.front();
    // the last run that starts at or before k
    return *(std::upper_bound(runs_.begin(), runs_.end(), k, [](std::size_t index, const Run& r) { return index < r.first; }) - 1);
}

RawSeries::Place RawSeries::Locate(std::size_t k) const {
    const Run& run = RunOf(k);
    return Place{run.item, run.begin + (k - run.first)};
}

void RawSeries::AddRun(const std::shared_ptr<const RawAnswer>& answer, const OPCHDA_ITEM* item, std::size_t begin,
                       std::size_t end) {
    if (begin >= end) return;
    if (!runs_.empty() && runs_.back().item == item && runs_.back().end == begin) {
        runs_.back().end = end; // continues the last run
    } else {
        runs_.push_back(Run{answer, item, begin, end, count_});
    }
    count_ += end - begin;
}

void RawSeries::Append(const std::shared_ptr<const RawAnswer>& answer, std::size_t index, std::size_t from) {
    const OPCHDA_ITEM& item = (*answer)[index];
    AddRun(answer, &item, from, item.dwCount);
}

void RawSeries::AppendValueOf(const RawSeries& other, std::size_t k) {
    const Run& run = other.RunOf(k);
    const std::size_t position = run.begin + (k - run.first);
    AddRun(run.answer, run.item, position, position + 1);
}

} // namespace kesti
