#include "opchda/HistoryReading.h"

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

} // namespace kesti
