#include "model/TagWriting.h"

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "base/TextConversion.h"
#include "model/ItemHandles.h"
#include "model/KestiTag.h"
#include "model/Node.h"

namespace kesti {
namespace {

platform::UniqueVariant CellValue(const ValueVector& row, std::size_t column) {
    platform::UniqueVariant v;
    if (const float* f = row.FloatAt(column)) {
        V_VT(v.Get()) = VT_R4;
        V_R4(v.Get()) = *f;
    } else if (const std::string* text = row.StringAt(column)) {
        V_BSTR(v.Get()) = SysAllocString(WideFromAnsi(*text).c_str());
        V_VT(v.Get()) = VT_BSTR;
    }
    return v;
}

// One array value for the item, from the cells of its element tags; false when the request
// does not name every element (nothing is guessed).
bool ArrayValue(const ServerItem& item, const ValueVector& row, platform::UniqueVariant& out) {
    const auto& array = static_cast<const ArrayTag*>(item.entries.front()->tag)->Array();
    const std::size_t size = array.ElementCount();
    std::vector<const TagEntry*> byElement(size, nullptr);
    for (const TagEntry* entry : item.entries) {
        const auto index = static_cast<const ArrayTag*>(entry->tag)->ElementIndex();
        if (index < size) byElement[index] = entry;
    }
    bool allFloats = true;
    for (const TagEntry* entry : byElement) {
        if (entry == nullptr) return false;
        allFloats = allFloats && row.FloatAt(static_cast<std::size_t>(entry->column)) != nullptr;
    }
    SAFEARRAYBOUND bound{static_cast<ULONG>(size), 0};
    VARIANT* value = out.Put();
    V_ARRAY(value) = SafeArrayCreate(allFloats ? VT_R4 : VT_VARIANT, 1, &bound);
    V_VT(value) = VT_ARRAY | (allFloats ? VT_R4 : VT_VARIANT);
    for (LONG i = 0; i < static_cast<LONG>(size); ++i) {
        platform::UniqueVariant cell = CellValue(row, static_cast<std::size_t>(byElement[i]->column));
        if (allFloats) SafeArrayPutElement(V_ARRAY(value), &i, &V_R4(cell.Get()));
        else SafeArrayPutElement(V_ARRAY(value), &i, cell.Get());
    }
    return true;
}

// The entry whose cell an item that several tags share gets: the first with a value.
const TagEntry& WrittenEntry(const ServerItem& item, const ValueVector& row) {
    for (const TagEntry* entry : item.entries) {
        const auto column = static_cast<std::size_t>(entry->column);
        if (row.FloatAt(column) != nullptr || row.StringAt(column) != nullptr) return *entry;
    }
    return *item.entries.front();
}

std::string ItemName(const ServerItem& item) {
    const Tag* tag = item.entries.front()->tag;
    return tag->IsArrayElement() ? static_cast<const ArrayTag*>(tag)->Array().Name() : tag->Name();
}

void WarnAboutRefusedTags(const std::vector<TagEntry>& request) {
    for (const TagEntry& entry : request)
        if (entry.tag->HandleFailed())
            LogMessage(LogWarning, (boost::format("Tag %1% is not written: the server refused its item handle.") %
                                    entry.tag->Name()).str());
}

// The values of one row, with the items they go to; arrays that the request does not
// cover whole are left out with an Error record.
void CollectRow(const std::vector<ServerItem>& items, const ValueVector& row, const TimePoint& t,
                std::vector<OPCHANDLE>& handles, std::vector<const ServerItem*>& sent,
                std::vector<platform::UniqueVariant>& values) {
    for (const ServerItem& item : items) {
        platform::UniqueVariant value;
        if (item.entries.front()->tag->IsArrayElement()) {
            if (!ArrayValue(item, row, value)) {
                LogMessage(LogError, (boost::format("Array tag %1% is not written at %2%: a write of an array needs "
                                                    "all of its element tags in one request.") %
                                      ItemName(item) % TimePointLogText(t)).str());
                continue;
            }
        } else {
            value = CellValue(row, static_cast<std::size_t>(WrittenEntry(item, row).column));
        }
        handles.push_back(item.handle);
        sent.push_back(&item);
        values.push_back(std::move(value));
    }
}

} // namespace

void WriteRows(OpcHdaProxy& proxy, const std::vector<TagEntry>& request, const TimePoint& start, const Duration& step,
               const std::vector<const ValueVector*>& rows) {
    UpdateServerHandles(proxy, request);
    HistoryWriter writer = proxy.Writer();
    WarnAboutRefusedTags(request);
    const std::vector<ServerItem> items = CollectServerItems(request);

    for (std::size_t r = 0; r < rows.size(); ++r) {
        const TimePoint t = start + step * static_cast<int>(r);
        std::vector<OPCHANDLE> handles;
        std::vector<const ServerItem*> sent;
        std::vector<platform::UniqueVariant> values;
        CollectRow(items, *rows[r], t, handles, sent, values);
        if (handles.empty()) continue;
        for (const ServerItem* item : sent)
            for (const TagEntry* entry : item->entries) entry->tag->RaiseUpdateTime(SecondsSince1970(t));
        try {
            const ItemResults outcome = writer.InsertReplace(handles, FileTimeFromTimePoint(t), values);
            LogPartialFailure("IOPCHDA_SyncUpdate::InsertReplace", outcome.result, outcome.errors.Get(),
                              outcome.errors.Count(), [&](std::size_t j) { return ItemName(*sent[j]); });
        } catch (const ComError& e) {
            if (IsLostConnection(e.Result())) throw; // the node reconnects and writes its rows again
            LogMessage(LogError, e.Message()); // this row is lost; the next one goes on
        }
    }
}

} // namespace kesti
