#pragma once
// Times as the OPC HDA standard writes them: "NOW", "NOW-1D", "DAY+8H", ... (keywords NOW,
// SECOND, MINUTE, HOUR, DAY, WEEK, MONTH, YEAR; offsets S, M, H, D, W, MO, Y), and the
// absolute times of the data files ("2024-01-01 00:00:00", "2024-01-01T00:00:00Z").
#include <cstdint>
#include <optional>
#include <string>

namespace kesti::sim {

// 100-nanosecond ticks since 1601 (a FILETIME as one number).
using Ticks = std::int64_t;
constexpr Ticks kTicksPerSecond = 10000000;

Ticks NowTicks();

// The time a text names, relative to now; nullopt for a text of neither form.
std::optional<Ticks> ParseTimeText(const std::string& text, Ticks now);
// A duration: seconds as a number, or a text such as "1S", "500MS", "2H".
std::optional<Ticks> ParseDurationText(const std::string& text);

} // namespace kesti::sim
