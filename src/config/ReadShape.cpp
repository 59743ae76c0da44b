#include "config/ReadShape.h"

#include <boost/algorithm/string/predicate.hpp>

namespace kesti {
namespace {

constexpr ReadShape kShapes[] = {ReadShape::Automatic, ReadShape::Forward, ReadShape::Rows, ReadShape::Whole};

} // namespace

std::optional<ReadShape> ParseReadShape(const std::string& text) {
    for (const ReadShape shape : kShapes)
        if (boost::algorithm::iequals(text, ReadShapeText(shape))) return shape;
    return std::nullopt;
}

const char* ReadShapeText(ReadShape shape) {
    switch (shape) {
    case ReadShape::Forward: return "forward";
    case ReadShape::Rows: return "rows";
    case ReadShape::Whole: return "whole";
    case ReadShape::Automatic: break;
    }
    return "automatic";
}

} // namespace kesti
