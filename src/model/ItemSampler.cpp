#include "model/ItemSampler.h"

#include <cmath>

#include <boost/format.hpp>

#include "base/Log.h"
#include "base/ResultText.h"
#include "model/Node.h"
#include "model/Tag.h"
#include "opchda/OpcHdaConstants.h"
#include "opchda/OpcHdaText.h"
#include "opchda/RawReader.h"
#include "opchda/VariantValue.h"

namespace kesti {
namespace {

// The Debug dump of an item's values shows the first kDumpedValues of them, so that one
// record stays far below any log size (each value's text is cut as well).
constexpr std::size_t kDumpedValues = 200;

std::string TimeText(std::int64_t tick) { return FileTimeText(FileTimeOfTicks(tick)); }

std::string ValueText(std::int64_t tick, DWORD quality, const VARIANT& value) {
    return (boost::format("\ntime: \"%1%\", quality: \"%2%\", value: %3%") % TimeText(tick) % QualityText(quality) %
            DumpVariant(value)).str();
}

std::string ItemHeader(const ItemOutcome& outcome, const Tag& tag) {
    return (boost::format("%1% data values for tag %2%, result: %3%") % outcome.values % tag.Name() %
            HResultText(outcome.result)).str();
}

std::string TagNames(const ServerItem& item) {
    std::string tags;
    for (const TagEntry* entry : item.entries) tags += (tags.empty() ? "" : ", ") + entry->tag->Name();
    return tags;
}

// A plain VT_R8 or VT_R4 value (most history) goes to its cell at once; false for any other.
bool WritePlainReal(const VARIANT& value, std::size_t column, ValueVector& row) {
    double real = 0;
    switch (V_VT(&value)) {
    case VT_R8: real = V_R8(&value); break;
    case VT_R4: real = V_R4(&value); break;
    default: return false;
    }
    if (std::isnan(real)) row.SetNull(column);
    else row.SetFloat(column, static_cast<float>(real));
    return true;
}

// Element `element` of any value to its cell: numbers as floats, text in the ANSI code page.
void WriteConverted(const VARIANT& value, std::size_t element, std::size_t column, ValueVector& row) {
    switch (ValueClassOf(value)) {
    case VariantValueClass::Integer:
        if (const auto integer = ExtractInteger(value, element)) row.SetFloat(column, integer->ToFloat());
        else row.SetNull(column);
        break;
    case VariantValueClass::Real: {
        const auto real = ExtractReal(value, element);
        if (real && !std::isnan(*real)) row.SetFloat(column, static_cast<float>(*real));
        else row.SetNull(column);
        break;
    }
    case VariantValueClass::Text: row.SetString(column, ExtractText(value, element)); break;
    default: row.SetNull(column); break;
    }
}

// A value the plug-in cannot read as a number or a text (VT_EMPTY and VT_NULL are simply
// no value).
bool IsUnreadable(const VARIANT& value) {
    return V_VT(&value) != VT_EMPTY && V_VT(&value) != VT_NULL && ValueClassOf(value) == VariantValueClass::Unsupported;
}

void WriteCell(const TagEntry& entry, const VARIANT& value, std::int64_t tick, ValueVector& row, bool current) {
    Tag& tag = *entry.tag;
    const std::size_t column = static_cast<std::size_t>(entry.column);
    if (tag.IsArrayElement() || !WritePlainReal(value, column, row)) WriteConverted(value, tag.ElementIndex(), column, row);
    if (current) tag.RaiseUpdateTime(SecondsSince1970(TimePointFromFileTime(FileTimeOfTicks(tick))));
}

bool IsBadOrUncertain(DWORD quality) {
    const DWORD kind = quality & opc::kQualityMask;
    return kind == opc::kQualityBad || kind == opc::kQualityUncertain;
}

} // namespace

std::string RowSpan::MissingText() const {
    return (boost::format("\nRows left missing: %1%, from %2% to %3%.") % count % TimeText(first) % TimeText(last)).str();
}

void ItemSampler::Take(std::int64_t tick, DWORD quality, const VARIANT& value) {
    FillRowsBefore(tick);
    // A value sent again (a continuation or a forward read after backward ones starts at the
    // value it holds) stays the same value for the records of the rows it holds.
    const bool again = holding_ && tick == held_.tick && quality == held_.quality;
    holding_ = true;
    held_.tick = tick;
    held_.quality = quality;
    held_.value = &value;
    ++taken_;
    if (!again) held_.number = taken_;
    if (debug_ && taken_ <= kDumpedValues) dumped_ += ValueText(tick, quality, value);
}

void ItemSampler::KnownThrough(std::int64_t tick) { FillRowsThrough(tick); }

void ItemSampler::KeepHeldValue() {
    if (!holding_ || held_.value == nullptr || held_.value == held_.owned.Get()) return;
    // A value that cannot be copied leaves the rows it would hold missing.
    const HRESULT copied = VariantCopy(held_.owned.Put(), const_cast<VARIANT*>(held_.value));
    held_.value = SUCCEEDED(copied) ? held_.owned.Get() : nullptr;
}

void ItemSampler::FillRowsBefore(std::int64_t tick) {
    while (nextRow_ < table_.RowCount() && times_(nextRow_) < tick) FillRow(nextRow_++);
}

void ItemSampler::FillRowsThrough(std::int64_t tick) {
    while (nextRow_ < table_.RowCount() && times_(nextRow_) <= tick) FillRow(nextRow_++);
}

void ItemSampler::FillRow(std::size_t r) {
    if (!holding_ || held_.value == nullptr) return; // nothing at or before the row
    const std::int64_t t = times_(r);
    if (IsBadOrUncertain(held_.quality)) {
        NoteBadValue(t);
        return;
    }
    const VARIANT& value = *held_.value;
    const Tag& first = *item_.entries.front()->tag;
    if (first.IsArrayElement()) {
        const std::size_t read = ElementCount(value);
        if (read != first.Array().ElementCount()) {
            if (mismatched_.count == 0) mismatchRead_ = read;
            mismatched_.Add(t);
            return;
        }
    }
    if (IsUnreadable(value) && unreadableRows_++ == 0) unreadableType_ = V_VT(&value);
    for (const TagEntry* entry : item_.entries) WriteCell(*entry, value, held_.tick, table_.Row(r), times_.current);
}

void ItemSampler::NoteBadValue(std::int64_t rowTicks) {
    if (badValues_.empty() || badValues_.back().number != held_.number)
        badValues_.push_back(BadValueRows{held_.number, ValueText(held_.tick, held_.quality, *held_.value), RowSpan{}});
    badValues_.back().rows.Add(rowTicks);
}

void ItemSampler::End(const ItemOutcome& outcome) noexcept {
    try {
        FillRowsThrough(outcome.knownUntil);
        WriteRecords(outcome);
    } catch (...) {
        // The rows keep what they got; a record that could not be made is not written.
    }
    held_.value = nullptr;
    held_.owned.Clear();
}

void ItemSampler::WriteRecords(const ItemOutcome& outcome) const {
    const Tag& first = *item_.entries.front()->tag;
    if (debug_) {
        std::string text = ItemHeader(outcome, first) + dumped_;
        if (outcome.values > kDumpedValues) text += (boost::format("\n... (%1% values in all)") % outcome.values).str();
        LogMessage(LogDebug, text);
    }
    if (outcome.cutShort) {
        std::size_t missing = 0;
        for (std::size_t r = 0; r < table_.RowCount(); ++r) missing += times_(r) > outcome.knownUntil ? 1 : 0;
        const bool none = outcome.knownUntil == std::numeric_limits<std::int64_t>::min();
        const std::string arrived = none ? std::string("no values arrived") : "values arrived up to " + TimeText(outcome.knownUntil);
        const std::string stopped =
            outcome.result == kTimeLimitPassed
                ? "The read of tag " + TagNames(item_) + " stopped at its time limit (the ServerTimeLimit setting)"
                : "The server cut short the read of tag " + TagNames(item_) + " (result: " + HResultText(outcome.result) + ")";
        LogMessage(LogWarning, (boost::format("%1%: %2%. Rows left missing: %3%.") % stopped % arrived % missing).str());
    }
    if (outcome.disordered)
        LogMessage(LogWarning, (boost::format("The server sent the values of tag %1% out of time order: they were "
                                              "sampled in time order, a repeated time holding the last value sent.") %
                                TagNames(item_)).str());
    for (const TagEntry* entry : item_.entries)
        for (const BadValueRows& bad : badValues_) {
            std::string text = ItemHeader(outcome, *entry->tag) + bad.valueText;
            if (!times_.current) text += bad.rows.MissingText();
            LogMessage(LogWarning, text);
        }
    if (unreadableRows_ > 0)
        LogMessage(LogWarning, (boost::format("Tag %1%: %2% rows hold values of a type the plug-in does not read (vt: %3%, "
                                              "the first of them); those cells are missing.") %
                                TagNames(item_) % unreadableRows_ % unreadableType_).str());
    if (mismatched_.count > 0) {
        const auto& array = first.Array();
        std::string text = (boost::format("Array data does not match the set size. Returning missing values. %1% "
                                          "elements read from tag %2%, expected %3% (the size attribute set in the "
                                          "configuration)") % mismatchRead_ % array.ItemId() % array.ElementCount()).str();
        if (!times_.current) text += mismatched_.MissingText();
        LogMessage(LogError, text);
    }
}

} // namespace kesti
