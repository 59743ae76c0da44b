// Writing of the OPC HDA proxy: one InsertReplace per row, all values of good quality.
#include <boost/format.hpp>

#include "config/Exception.h"
#include "config/Log.h"
#include "model/KestiTag.h"
#include "model/Node.h"
#include "opchda/OpcHdaConstants.h"
#include "opchda/OpcHdaProxy.h"
#include "opchda/ResultText.h"
#include "opchda/TextConversion.h"

namespace kesti {
namespace {

// The VARIANTs of one call, cleared when the row is done.
struct RowValues {
    std::vector<VARIANT> values;
    ~RowValues() { Clear(); }
    void Clear() {
        for (VARIANT& v : values) VariantClear(&v);
        values.clear();
    }
};

VARIANT CellValue(const ValueVector& row, std::size_t column) {
    VARIANT v;
    VariantInit(&v);
    if (const float* f = row.FloatAt(column)) {
        V_VT(&v) = VT_R4;
        V_R4(&v) = *f;
    } else if (const std::string* text = row.StringAt(column)) {
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(WideFromUtf8(*text).c_str());
    }
    return v;
}

// One array value for the item, from the cells of its element tags; false when the request
// does not name every element (nothing is guessed).
bool ArrayValue(const ServerItem& item, const ValueVector& row, VARIANT& out) {
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
    SAFEARRAY* values = SafeArrayCreate(allFloats ? VT_R4 : VT_VARIANT, 1, &bound);
    for (LONG i = 0; i < static_cast<LONG>(size); ++i) {
        VARIANT cell = CellValue(row, static_cast<std::size_t>(byElement[i]->column));
        if (allFloats) SafeArrayPutElement(values, &i, &V_R4(&cell));
        else SafeArrayPutElement(values, &i, &cell);
        VariantClear(&cell);
    }
    VariantInit(&out);
    V_VT(&out) = VT_ARRAY | (allFloats ? VT_R4 : VT_VARIANT);
    V_ARRAY(&out) = values;
    return true;
}

std::string ItemName(const ServerItem& item) {
    const Tag* tag = item.entries.front()->tag;
    return tag->IsArrayElement() ? static_cast<const ArrayTag*>(tag)->Array().Name() : tag->Name();
}

} // namespace

void OpcHdaProxy::WriteData(const std::vector<TagEntry>& request, const TimePoint& start, const Duration& step,
                            const std::vector<const ValueVector*>& rows) {
    UpdateServerHandles(request);
    platform::ComPtr<IOPCHDA_SyncUpdate> updater;
    if (!server_ || FAILED(server_.As(&updater)))
        throw Exception("The server offers no IOPCHDA_SyncUpdate; nothing was written.");
    identity_->ApplyTo(updater.Get());
    for (const TagEntry& entry : request)
        if (entry.tag->HandleFailed())
            LogMessage(LogWarning, (boost::format("Tag %1% is not written: the server refused its item handle.") %
                                    entry.tag->Name()).str());
    const std::vector<ServerItem> items = CollectServerItems(request);

    for (std::size_t r = 0; r < rows.size(); ++r) {
        const TimePoint t = start + step * static_cast<int>(r);
        const FILETIME ft = FileTimeFromTimePoint(t);
        for (const TagEntry& entry : request) entry.tag->RaiseUpdateTime(SecondsSince1970(t));
        std::vector<OPCHANDLE> handles;
        std::vector<const ServerItem*> sent;
        RowValues values;
        for (const ServerItem& item : items) {
            VARIANT value;
            if (item.entries.front()->tag->IsArrayElement()) {
                if (!ArrayValue(item, *rows[r], value)) {
                    LogMessage(LogError, (boost::format("Array tag %1% is not written at %2%: a write of an array needs "
                                                        "all of its element tags in one request.") %
                                          ItemName(item) % TimePointLogText(t)).str());
                    continue;
                }
            } else {
                value = CellValue(*rows[r], static_cast<std::size_t>(item.entries.front()->column));
            }
            handles.push_back(item.handle);
            sent.push_back(&item);
            values.values.push_back(value);
        }
        if (handles.empty()) continue;
        const DWORD count = static_cast<DWORD>(handles.size());
        std::vector<FILETIME> times(count, ft);
        std::vector<DWORD> qualities(count, opc::kQualityGood);
        platform::UniqueCoTaskMem<HRESULT> errors;
        const HRESULT result = updater->InsertReplace(count, handles.data(), times.data(), values.values.data(),
                                                      qualities.data(), errors.Put());
        if (FAILED(result)) {
            LogMessage(LogError, (boost::format("IOPCHDA_SyncUpdate::InsertReplace failed: %1%") % HResultText(result)).str());
            continue;
        }
        std::string warning = "IOPCHDA_SyncUpdate::InsertReplace partially failed:";
        bool anyFailed = false;
        for (DWORD j = 0; errors && j < count; ++j)
            if (FAILED(errors[j])) {
                anyFailed = true;
                warning += (boost::format("\nItem %1% failed: %2%") % ItemName(*sent[j]) % HResultText(errors[j])).str();
            }
        if (result == S_FALSE || anyFailed) LogMessage(LogWarning, warning);
    }
}

} // namespace kesti
