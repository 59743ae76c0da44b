#include "model/TagReading.h"

#include <cmath>
#include <limits>
#include <optional>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "base/ResultText.h"
#include "model/ItemHandles.h"
#include "model/NodeFailure.h"
#include "model/Tag.h"
#include "model/Node.h"
#include "opchda/OpcHdaConstants.h"
#include "opchda/OpcHdaText.h"
#include "opchda/VariantValue.h"

namespace kesti {
namespace {

constexpr std::int64_t kCurrentRow = std::numeric_limits<std::int64_t>::max();

std::string ValueText(const RawSeries& s, std::size_t k) {
    return (boost::format("\ntime: \"%1%\", quality: \"%2%\", value: %3%") % FileTimeText(FileTimeOfTicks(s.Tick(k))) %
            QualityText(s.Quality(k)) % DumpVariant(s.Value(k)))
        .str();
}

std::string ItemHeader(const RawSeries& s, const Tag& tag) {
    return (boost::format("%1% data values for tag %2%, result: %3%") % s.Count() % tag.Name() % HResultText(s.error)).str();
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

// The element count an array value must have and the value's own, when they differ.
struct ArrayMismatch {
    std::size_t read = 0;
    std::size_t expected = 0;
};

std::optional<ArrayMismatch> MismatchOf(const Tag& tag, const VARIANT& value) {
    if (!tag.IsArrayElement()) return std::nullopt;
    const std::size_t expected = tag.Array().ElementCount();
    const std::size_t read = ElementCount(value);
    if (read == expected) return std::nullopt;
    return ArrayMismatch{read, expected};
}

// Writes the cell of one entry in one row from value k, whose array size (for an element
// tag) matches.
void WriteCell(const TagEntry& entry, const RawSeries& s, std::size_t k, ValueVector& row, bool current) {
    Tag& tag = *entry.tag;
    const VARIANT& value = s.Value(k);
    const std::size_t element = tag.ElementIndex();
    const std::size_t column = static_cast<std::size_t>(entry.column);
    if (tag.IsArrayElement() || !WritePlainReal(value, column, row)) WriteConverted(value, element, column, row);
    if (current) tag.RaiseUpdateTime(SecondsSince1970(TimePointFromFileTime(FileTimeOfTicks(s.Tick(k)))));
}

// The rows a record tells of, by their times: how many, the first and the last.
struct RowSpan {
    std::size_t count = 0;
    std::int64_t first = 0, last = 0;

    void Add(std::int64_t rowTicks) {
        if (count++ == 0) first = rowTicks;
        last = rowTicks;
    }
    // "\nRows left missing: N, from <first> to <last>."
    std::string MissingText() const {
        return (boost::format("\nRows left missing: %1%, from %2% to %3%.") % count % FileTimeText(FileTimeOfTicks(first)) %
                FileTimeText(FileTimeOfTicks(last))).str();
    }
};

// The rows of one read that an array item's values of the wrong size leave missing, for all
// of its element tags: one Error record per read and array, not one per row and element (a
// day at one-second rows of a 100-element array would otherwise write 8.6 million records).
class MismatchedRows {
public:
    MismatchedRows(const ServerItem& item, bool current) : item_(item), current_(current) {}
    ~MismatchedRows() { Flush(); }
    MismatchedRows(const MismatchedRows&) = delete;
    MismatchedRows& operator=(const MismatchedRows&) = delete;

    void Add(const ArrayMismatch& mismatch, std::int64_t rowTicks) {
        if (rows_.count == 0) mismatch_ = mismatch;
        rows_.Add(rowTicks);
    }

private:
    void Flush() noexcept {
        if (rows_.count == 0) return;
        try {
            const auto& array = item_.entries.front()->tag->Array();
            std::string text = (boost::format("Array data does not match the set size. Returning missing values. %1% "
                                              "elements read from tag %2%, expected %3% (the size attribute set in the "
                                              "configuration)") % mismatch_.read % array.ItemId() % mismatch_.expected).str();
            if (!current_) text += rows_.MissingText();
            LogMessage(LogError, text);
        } catch (...) {
            // The rows stay missing whether or not the record could be written.
        }
    }

    const ServerItem& item_;
    bool current_;
    ArrayMismatch mismatch_;
    RowSpan rows_;
};

// The rows that one held value of bad or uncertain quality leaves missing. They are told in
// one Warning record per value, not one per row: a day at one-second steps would otherwise
// roll the log over many times and erase every earlier record.
class MissingRows {
public:
    MissingRows(const TagEntry& entry, const RawSeries& s, bool current) : entry_(entry), s_(s), current_(current) {}
    ~MissingRows() { Flush(); }
    MissingRows(const MissingRows&) = delete;
    MissingRows& operator=(const MissingRows&) = delete;

    void Add(std::size_t value, std::int64_t rowTicks) {
        if (value != value_) {
            Flush();
            value_ = value;
        }
        rows_.Add(rowTicks);
    }

private:
    void Flush() noexcept {
        if (rows_.count == 0) return;
        try {
            std::string text = ItemHeader(s_, *entry_.tag) + ValueText(s_, value_);
            if (!current_) text += rows_.MissingText();
            LogMessage(LogWarning, text);
        } catch (...) {
            // The rows stay missing whether or not the record could be written.
        }
        rows_ = RowSpan{};
    }

    const TagEntry& entry_;
    const RawSeries& s_;
    bool current_;
    std::size_t value_ = static_cast<std::size_t>(-1);
    RowSpan rows_;
};

// The time of row r (every row of a current read is "now").
struct RowTimes {
    std::int64_t first = 0;
    std::int64_t step = 0;
    bool current = false;

    std::int64_t operator()(std::size_t r) const {
        return current ? kCurrentRow : first + static_cast<std::int64_t>(r) * step;
    }
};

// The time after which nothing is known of a series: values arrived up to its last one when
// the server cut the read short.
std::int64_t KnownUntil(const RawSeries& s) {
    if (!s.cutShort) return std::numeric_limits<std::int64_t>::max();
    return s.Empty() ? std::numeric_limits<std::int64_t>::min() : s.LastTick();
}

// Sample and hold: each row gets the newest value at or before its time; rows after what is
// known of the item stay missing rather than hold a value that may have changed since.
// An array value of the wrong size leaves the row missing and is noted in `mismatched` (the
// rows of the item's first entry only: its other entries visit the same rows).
void SampleInto(const TagEntry& entry, const RawSeries& s, const RowTimes& times, ValueTable& table,
                MismatchedRows* mismatched) {
    const std::size_t n = s.Count();
    const bool current = times.current;
    const std::int64_t knownUntil = KnownUntil(s);
    MissingRows missing(entry, s, current);
    std::size_t k = 0;
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        const std::int64_t t = times(r);
        if (t > knownUntil) break;
        while (k + 1 < n && !(s.Quality(k + 1) & opc::kNoBound) && s.Tick(k + 1) <= t) ++k;
        if (k >= n) continue;
        const DWORD quality = s.Quality(k) & opc::kQualityMask;
        if (quality == opc::kQualityBad || quality == opc::kQualityUncertain) {
            missing.Add(k, t);
            continue;
        }
        if (!current && s.Tick(k) > t) continue;
        if (const auto mismatch = MismatchOf(*entry.tag, s.Value(k))) {
            if (mismatched != nullptr) mismatched->Add(*mismatch, t);
            continue;
        }
        WriteCell(entry, s, k, table.Row(r), current);
    }
}

// One Warning for an item whose read the server cut short, naming its tags, the time up to
// which values arrived and the rows left missing.
void LogCutShort(const ServerItem& item, const RawSeries& s, const RowTimes& times, std::size_t rowCount) {
    const std::int64_t knownUntil = KnownUntil(s);
    std::size_t missing = 0;
    for (std::size_t r = 0; r < rowCount; ++r) missing += times(r) > knownUntil ? 1 : 0;
    std::string tags;
    for (const TagEntry* entry : item.entries) tags += (tags.empty() ? "" : ", ") + entry->tag->Name();
    const std::string arrived = s.Empty() ? std::string("no values arrived")
                                                : "values arrived up to " + FileTimeText(FileTimeOfTicks(knownUntil));
    LogMessage(LogWarning, (boost::format("The server cut short the read of tag %1% (result: %2%): %3%. Rows left "
                                          "missing: %4%.") % tags % HResultText(s.error) % arrived % missing).str());
}

// The Debug dump of an item's values: the first kDumpedValues of them, so that one record
// stays far below any log size (each value's text is cut as well).
constexpr std::size_t kDumpedValues = 200;

void LogRawValues(const RawSeries& s, const Tag& tag) {
    std::string text = ItemHeader(s, tag);
    for (std::size_t k = 0; k < s.Count() && k < kDumpedValues; ++k) text += ValueText(s, k);
    if (s.Count() > kDumpedValues) text += (boost::format("\n... (%1% values in all)") % s.Count()).str();
    LogMessage(LogDebug, text);
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

    std::vector<RawSeries> series; // a failed read leaves this node's cells missing; other nodes are read
    if (!StepOrTell<ComError>([&] { series = session.ReadRaw(r, handles); },
                              [](const ComError& e) { LogMessage(LogError, e.Message()); }))
        return;
    RowTimes times;
    times.current = window.IsCurrent();
    times.first = times.current ? 0 : TicksOf(FileTimeFromTimePoint(window.start));
    times.step = (times.current || window.step.is_special()) ? 0 : window.step.total_microseconds() * 10;
    const bool debug = GetLogLevel() >= LogDebug;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (debug) LogRawValues(series[i], *items[i].entries.front()->tag);
        if (series[i].cutShort) LogCutShort(items[i], series[i], times, table.RowCount());
        MismatchedRows mismatched(items[i], times.current);
        for (const TagEntry* entry : items[i].entries)
            SampleInto(*entry, series[i], times, table, entry == items[i].entries.front() ? &mismatched : nullptr);
    }
}

} // namespace kesti
