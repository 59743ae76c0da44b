#pragma once
// How a historical read asks the server for its values: the "ReadShape" setting.
#include <optional>
#include <string>

namespace kesti {

enum class ReadShape {
    Automatic, // forward chunks, or one read per row when the rows are far apart in values
    Forward,   // forward chunks of a bounded number of values, continued to the end
    Rows,      // one backward read per row, for the newest value at or before its time
    Whole,     // one read of every value of the span, as many as the server gives at once
};

// "automatic", "forward", "rows", "whole" (any case); nullopt for any other text.
std::optional<ReadShape> ParseReadShape(const std::string& text);
const char* ReadShapeText(ReadShape shape);

} // namespace kesti
