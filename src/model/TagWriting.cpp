#include "model/TagWriting.h"

#include <algorithm>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "base/TextConversion.h"
#include "model/ItemHandles.h"
#include "model/NodeFailure.h"
#include "model/Tag.h"
#include "model/Node.h"

namespace kesti {
namespace {

bool HasValue(const ValueVector& row, std::size_t column) { return row.TypeAt(column) != ValueType::Null; }

// The VARIANT of a cell that holds a value. Throws ComError when the text cannot be allocated:
// the row is then lost, never sent with a hole in it.
platform::UniqueVariant CellValue(const ValueVector& row, std::size_t column) {
    platform::UniqueVariant v;
    if (const float* f = row.FloatAt(column)) {
        V_VT(v.Get()) = VT_R4;
        V_R4(v.Get()) = *f;
    } else if (const std::string* text = row.StringAt(column)) {
        V_BSTR(v.Get()) = SysAllocString(WideFromAnsi(*text).c_str());
        if (V_BSTR(v.Get()) == nullptr) ThrowIfFailed(E_OUTOFMEMORY, "SysAllocString");
        V_VT(v.Get()) = VT_BSTR;
    }
    return v;
}

// The request's entry of each element of an array item, in element order; empty when the
// request does not name every element (nothing is guessed).
std::vector<const TagEntry*> ElementEntries(const ServerItem& item) {
    std::vector<const TagEntry*> byElement(item.entries.front()->tag->Array().ElementCount(), nullptr);
    for (const TagEntry* entry : item.entries) {
        const auto index = entry->tag->ElementIndex();
        if (index < byElement.size()) byElement[index] = entry;
    }
    for (const TagEntry* entry : byElement)
        if (entry == nullptr) return {};
    return byElement;
}

// One array value from the cells of its elements, every one of which holds a value: VT_R4
// elements when all are floats, else VARIANT elements.
platform::UniqueVariant ArrayValue(const std::vector<const TagEntry*>& elements, const ValueVector& row) {
    bool allFloats = true;
    for (const TagEntry* entry : elements)
        allFloats = allFloats && row.FloatAt(static_cast<std::size_t>(entry->column)) != nullptr;
    const VARTYPE elementType = allFloats ? VT_R4 : VT_VARIANT;
    SAFEARRAYBOUND bound{static_cast<ULONG>(elements.size()), 0};
    platform::UniqueVariant out;
    VARIANT* value = out.Put();
    V_ARRAY(value) = SafeArrayCreate(elementType, 1, &bound);
    if (V_ARRAY(value) == nullptr) ThrowIfFailed(E_OUTOFMEMORY, "SafeArrayCreate");
    V_VT(value) = VT_ARRAY | elementType; // owned by `out` from here on
    for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
        platform::UniqueVariant cell = CellValue(row, static_cast<std::size_t>(elements[i]->column));
        void* element = allFloats ? static_cast<void*>(&V_R4(cell.Get())) : static_cast<void*>(cell.Get());
        ThrowIfFailed(SafeArrayPutElement(V_ARRAY(value), &i, element), "SafeArrayPutElement");
    }
    return out;
}

// The entry whose cell an item that several tags share gets: the first with a value; null
// when none has one (the item is left out of the row).
const TagEntry* WrittenEntry(const ServerItem& item, const ValueVector& row) {
    for (const TagEntry* entry : item.entries)
        if (HasValue(row, static_cast<std::size_t>(entry->column))) return entry;
    return nullptr;
}

std::string ItemName(const ServerItem& item) {
    const Tag* tag = item.entries.front()->tag;
    return tag->IsArrayElement() ? tag->Array().Name() : tag->Name();
}

void WarnAboutRefusedTags(const std::vector<const TagEntry*>& refused) {
    for (const TagEntry* entry : refused)
        LogMessage(LogWarning, (boost::format("Tag %1% is not written: the server refused its item handle.") %
                                entry->tag->Name()).str());
}

// One item of the call as it is written row by row: a plain item, or an array with its
// elements' entries (empty when the request lacks one), and the rows in which the host gave
// an array some values but it could not be sent whole. Those rows are told in one record per
// call and array: a day of one-second rows would otherwise write a record per row.
struct WrittenItem {
    explicit WrittenItem(const ServerItem& served)
        : item(&served), isArray(served.entries.front()->tag->IsArrayElement()),
          elements(isArray ? ElementEntries(served) : std::vector<const TagEntry*>{}) {}

    const ServerItem* item;
    bool isArray;
    std::vector<const TagEntry*> elements;
    std::size_t unwrittenRows = 0;
    TimePoint firstUnwritten, lastUnwritten;

    void NoteUnwritten(const TimePoint& t) {
        if (unwrittenRows++ == 0) firstUnwritten = t;
        lastUnwritten = t;
    }

    void LogUnwritten() const {
        if (unwrittenRows == 0) return;
        const char* why = elements.empty() ? "a write of an array needs all of its element tags in one request."
                                           : "a write of an array needs a value for every element.";
        LogMessage(LogError, (boost::format("Array tag %1% is not written: %2% Rows not written: %3%, from %4% to %5%.") %
                              ItemName(*item) % why % unwrittenRows % TimePointLogText(firstUnwritten) %
                              TimePointLogText(lastUnwritten)).str());
    }
};

// What one InsertReplace sends: the items that have a value in the row and their values.
struct RowValues {
    std::vector<OPCHANDLE> handles;
    std::vector<const ServerItem*> sent;
    std::vector<platform::UniqueVariant> values;

    void Add(const ServerItem& item, platform::UniqueVariant value) {
        handles.push_back(item.handle);
        sent.push_back(&item);
        values.push_back(std::move(value));
    }
};

// The values of one row: a missing cell is not sent (the value stored there stays as it
// is), and an array only when every element has a value.
RowValues CollectRow(std::vector<WrittenItem>& items, const ValueVector& row, const TimePoint& t) {
    RowValues out;
    for (WrittenItem& w : items) {
        if (!w.isArray) {
            if (const TagEntry* entry = WrittenEntry(*w.item, row))
                out.Add(*w.item, CellValue(row, static_cast<std::size_t>(entry->column)));
            continue;
        }
        const auto given = [&](const TagEntry* entry) { return HasValue(row, static_cast<std::size_t>(entry->column)); };
        if (std::none_of(w.item->entries.begin(), w.item->entries.end(), given)) continue; // nothing asked of it here
        if (w.elements.empty() || !std::all_of(w.elements.begin(), w.elements.end(), given)) w.NoteUnwritten(t);
        else out.Add(*w.item, ArrayValue(w.elements, row));
    }
    return out;
}

// The tags of the items the server stored move their update time to t. Without per-item
// results, S_FALSE leaves it unknown which items failed: none moves.
void RaiseUpdateTimes(const RowValues& row, const ItemResults& outcome, const TimePoint& t) {
    if (outcome.errors.Get() == nullptr && outcome.result != S_OK) return;
    for (std::size_t j = 0; j < row.sent.size(); ++j) {
        if (outcome.errors.Get() != nullptr && (j >= outcome.errors.Count() || FAILED(outcome.errors[j]))) continue;
        for (const TagEntry* entry : row.sent[j]->entries) entry->tag->RaiseUpdateTime(SecondsSince1970(t));
    }
}

} // namespace

void WriteRows(ServerSession& session, const std::vector<TagEntry>& request, const TimePoint& start, const Duration& step,
               const std::vector<const ValueVector*>& rows) {
    const RequestItems resolved = ResolveItems(session, request);
    session.RequireWriting();
    WarnAboutRefusedTags(resolved.refused);
    std::vector<WrittenItem> written(resolved.items.begin(), resolved.items.end());

    for (std::size_t r = 0; r < rows.size(); ++r) {
        const TimePoint t = start + step * static_cast<int>(r);
        // A failed row is lost and the next one goes on; a lost server writes them all again.
        StepOrTell<ComError>(
            [&] {
                RowValues row = CollectRow(written, *rows[r], t);
                if (row.handles.empty()) return; // the host gave no value to send
                const ItemResults outcome = session.InsertReplace(row.handles, FileTimeFromTimePoint(t), row.values);
                LogPartialFailure("IOPCHDA_SyncUpdate::InsertReplace", outcome.result, outcome.errors.Get(),
                                  outcome.errors.Count(), [&](std::size_t j) { return ItemName(*row.sent[j]); });
                RaiseUpdateTimes(row, outcome, t);
            },
            [](const ComError& e) { LogMessage(LogError, e.Message()); });
    }
    for (const WrittenItem& w : written) w.LogUnwritten();
}

} // namespace kesti
