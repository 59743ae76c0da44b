#include "SimData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include <nlohmann/json.hpp>

#include <oleauto.h>

#include "opchda/OpcHdaConstants.h"

namespace kesti::sim {
namespace {

using nlohmann::json;

constexpr DWORD kRawFlag = opc::kRaw;

// The place in the file, as a JSON pointer ("/branches/0/items/2/type").
class Place {
public:
    Place(const std::string& file, std::string pointer) : file_(file), pointer_(std::move(pointer)) {}
    Place operator/(const std::string& key) const { return Place(file_, pointer_ + "/" + key); }
    Place operator/(std::size_t index) const { return Place(file_, pointer_ + "/" + std::to_string(index)); }
    [[noreturn]] void Fail(const std::string& problem) const {
        throw DataFileError(file_ + ": " + (pointer_.empty() ? "/" : pointer_) + ": " + problem);
    }

private:
    const std::string& file_;
    std::string pointer_;
};

std::wstring Wide(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

const json* Member(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() ? &*it : nullptr;
}

std::string Text(const json& value, const Place& place) {
    if (!value.is_string()) place.Fail("expected a text");
    return value.get<std::string>();
}

// A text that must be one of the choices.
std::string Choice(const json& value, const Place& place, std::initializer_list<const char*> choices) {
    const std::string text = Text(value, place);
    std::string expected;
    for (const char* choice : choices) {
        if (text == choice) return text;
        expected += (expected.empty() ? "\"" : ", \"") + std::string(choice) + "\"";
    }
    place.Fail("expected one of " + expected);
}

bool Flag(const json& object, const char* key, const Place& place, bool fallback = false) {
    const json* value = Member(object, key);
    if (value == nullptr) return fallback;
    if (!value->is_boolean()) (place / key).Fail("expected true or false");
    return value->get<bool>();
}

double Number(const json& value, const Place& place) {
    if (!value.is_number()) place.Fail("expected a number");
    return value.get<double>();
}

HRESULT ResultCode(const json& value, const Place& place) {
    if (value.is_number_integer()) return static_cast<HRESULT>(value.get<std::int64_t>());
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        char* end = nullptr;
        const unsigned long long code = std::strtoull(text.c_str(), &end, 0);
        if (end != text.c_str() && *end == '\0' && code <= 0xFFFFFFFFull) return static_cast<HRESULT>(code);
    }
    place.Fail("expected a result code such as \"0x80004005\"");
}

Ticks TimeValue(const json& value, const Place& place, Ticks now) {
    const auto ticks = ParseTimeText(Text(value, place), now);
    if (!ticks) place.Fail("not a time: \"" + value.get<std::string>() + "\" (use NOW-1H or 2024-01-01 00:00:00)");
    return *ticks;
}

Ticks DurationValue(const json& value, const Place& place) {
    if (value.is_number()) return static_cast<Ticks>(value.get<double>() * kTicksPerSecond);
    const auto ticks = ParseDurationText(Text(value, place));
    if (!ticks || *ticks <= 0) place.Fail("not a positive duration (use 1S, 500MS or a number of seconds)");
    return *ticks;
}

const std::map<std::string, VARTYPE>& TypeNames() {
    static const std::map<std::string, VARTYPE> names = {
        {"VT_EMPTY", VT_EMPTY}, {"VT_R4", VT_R4}, {"VT_R8", VT_R8}, {"VT_I1", VT_I1}, {"VT_I2", VT_I2},
        {"VT_I4", VT_I4}, {"VT_I8", VT_I8}, {"VT_UI1", VT_UI1}, {"VT_UI2", VT_UI2}, {"VT_UI4", VT_UI4},
        {"VT_UI8", VT_UI8}, {"VT_BOOL", VT_BOOL}, {"VT_BSTR", VT_BSTR}, {"VT_DECIMAL", VT_DECIMAL},
        {"VT_DATE", VT_DATE}, {"VT_ARRAY|VT_R4", VT_ARRAY | VT_R4}, {"VT_ARRAY|VT_R8", VT_ARRAY | VT_R8},
        {"VT_ARRAY|VT_VARIANT", VT_ARRAY | VT_VARIANT}};
    return names;
}

VARTYPE TypeValue(const json& value, const Place& place) {
    const std::string name = Text(value, place);
    const auto found = TypeNames().find(name);
    if (found == TypeNames().end()) place.Fail("unknown type \"" + name + "\"");
    return found->second;
}

DWORD QualityValue(const json& value, const Place& place) {
    if (value.is_number_integer()) return static_cast<DWORD>(value.get<std::int64_t>());
    const std::string name = Text(value, place);
    if (name == "good") return 0xC0 | kRawFlag;
    if (name == "uncertain") return 0x40 | kRawFlag;
    if (name == "bad") return 0x00 | kRawFlag;
    char* end = nullptr;
    const unsigned long code = std::strtoul(name.c_str(), &end, 0);
    if (end != name.c_str() && *end == '\0') return static_cast<DWORD>(code);
    place.Fail("unknown quality \"" + name + "\" (good, uncertain, bad or a number)");
}

void ScalarInto(VARIANT& out, VARTYPE type, const json& value, const Place& place) {
    VariantInit(&out);
    if (type == VT_EMPTY || value.is_null()) return;
    if (type == VT_BSTR) {
        V_VT(&out) = VT_BSTR;
        V_BSTR(&out) = SysAllocString(Wide(value.is_string() ? value.get<std::string>() : value.dump()).c_str());
        return;
    }
    const double number = value.is_boolean() ? (value.get<bool>() ? 1.0 : 0.0) : Number(value, place);
    V_VT(&out) = type;
    switch (type) {
    case VT_R4: V_R4(&out) = static_cast<float>(number); break;
    case VT_R8: V_R8(&out) = number; break;
    case VT_DATE: V_DATE(&out) = number; break;
    case VT_I1: V_I1(&out) = static_cast<CHAR>(number); break;
    case VT_I2: V_I2(&out) = static_cast<SHORT>(number); break;
    case VT_I4: V_I4(&out) = static_cast<LONG>(number); break;
    case VT_UI1: V_UI1(&out) = static_cast<BYTE>(number); break;
    case VT_UI2: V_UI2(&out) = static_cast<USHORT>(number); break;
    case VT_UI4: V_UI4(&out) = static_cast<ULONG>(number); break;
    // 64-bit integers keep every digit the file gives.
    case VT_I8: V_I8(&out) = value.is_number_integer() ? value.get<std::int64_t>() : static_cast<LONGLONG>(number); break;
    case VT_UI8: V_UI8(&out) = value.is_number_unsigned() ? value.get<std::uint64_t>() : static_cast<ULONGLONG>(number); break;
    case VT_BOOL: V_BOOL(&out) = number != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_DECIMAL:
        VarDecFromR8(number, &V_DECIMAL(&out));
        V_VT(&out) = VT_DECIMAL;
        break;
    default: place.Fail("values of this type cannot be given");
    }
}

VARTYPE ElementTypeOfJson(const json& value) {
    if (value.is_string()) return VT_BSTR;
    if (value.is_boolean()) return VT_BOOL;
    if (value.is_null()) return VT_EMPTY;
    return VT_R8;
}

Variant ArrayValue(VARTYPE elementType, const json& value, LONG lowerBound, const Place& place) {
    if (!value.is_array()) place.Fail("expected an array of values");
    SAFEARRAYBOUND bound{static_cast<ULONG>(value.size()), lowerBound};
    SAFEARRAY* array = SafeArrayCreate(elementType, 1, &bound);
    for (std::size_t i = 0; i < value.size(); ++i) {
        LONG index = lowerBound + static_cast<LONG>(i);
        platform::UniqueVariant element;
        const VARTYPE type = elementType == VT_VARIANT ? ElementTypeOfJson(value[i]) : elementType;
        ScalarInto(*element.Get(), type, value[i], place / i);
        if (elementType == VT_VARIANT) SafeArrayPutElement(array, &index, element.Get());
        else if (elementType == VT_R4) SafeArrayPutElement(array, &index, &V_R4(element.Get()));
        else SafeArrayPutElement(array, &index, &V_R8(element.Get()));
    }
    Variant result;
    V_VT(result.Get()) = VT_ARRAY | elementType;
    V_ARRAY(result.Get()) = array;
    return result;
}

Variant ValueOf(VARTYPE type, const json& value, LONG lowerBound, const Place& place) {
    if (type & VT_ARRAY) return ArrayValue(type & ~VT_ARRAY, value, lowerBound, place);
    Variant result;
    ScalarInto(*result.Get(), type, value, place);
    return result;
}

void ReadValues(const json& values, Item& item, LONG lowerBound, const Place& place, Ticks now) {
    if (!values.is_array()) place.Fail("expected a list of values");
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Place at = place / i;
        const json& v = values[i];
        if (!v.is_object()) at.Fail("expected an object with time, value and quality");
        const json* time = Member(v, "time");
        if (time == nullptr) at.Fail("a value needs a \"time\"");
        const json* type = Member(v, "type");
        const VARTYPE vt = type != nullptr ? TypeValue(*type, at / "type") : item.type;
        const json* value = Member(v, "value");
        const json* quality = Member(v, "quality");
        item.history.push_back(Sample{TimeValue(*time, at / "time", now),
                                      quality != nullptr ? QualityValue(*quality, at / "quality") : 0xC0 | kRawFlag,
                                      ValueOf(vt, value != nullptr ? *value : json(), lowerBound, at / "value")});
    }
}

void Generate(const json& g, Item& item, const Place& place, Ticks now) {
    if (!g.is_object()) place.Fail("expected an object");
    GeneratedSeries series;
    series.kind = Text(g.value("kind", json("sine")), place / "kind");
    const json* start = Member(g, "start");
    const json* interval = Member(g, "interval");
    const json* count = Member(g, "count");
    if (start == nullptr || interval == nullptr || count == nullptr)
        place.Fail("a generated series needs \"start\", \"interval\" and \"count\"");
    series.first = TimeValue(*start, place / "start", now);
    series.step = DurationValue(*interval, place / "interval");
    if (series.step <= 0) (place / "interval").Fail("a positive duration");
    const double n = Number(*count, place / "count");
    if (n < 0 || n > 1e9) (place / "count").Fail("between 0 and 1000000000 values");
    series.count = static_cast<std::size_t>(n);
    series.amplitude = g.value("amplitude", 1.0);
    series.offset = g.value("offset", 0.0);
    series.period = g.value("period", 60.0);
    series.stepSize = g.value("step", 1.0);
    if (series.kind != "sine" && series.kind != "ramp" && series.kind != "step") (place / "kind").Fail("sine, ramp or step");
    series.type = (item.type & VT_ARRAY) ? static_cast<VARTYPE>(VT_R8) : item.type;
    Variant probe; // a type that cannot hold the values fails the file now, not a read later
    ScalarInto(*probe.Get(), series.type, json(series.ValueAt(0)), place);
    item.generated = series;
}

// Sorted by time; a later value at the same time replaces an earlier one, unless repeated
// times are kept.
void SortHistory(std::vector<Sample>& history, bool keepRepeatedTimes) {
    std::stable_sort(history.begin(), history.end(), [](const Sample& a, const Sample& b) { return a.time < b.time; });
    if (keepRepeatedTimes) return;
    std::vector<Sample> unique;
    unique.reserve(history.size());
    for (Sample& s : history) {
        if (!unique.empty() && unique.back().time == s.time) unique.back() = std::move(s);
        else unique.push_back(std::move(s));
    }
    history.swap(unique);
}

} // namespace

double GeneratedSeries::ValueAt(std::size_t i) const {
    const double seconds = static_cast<double>(i) * static_cast<double>(step) / kTicksPerSecond;
    if (kind == "ramp") return offset + stepSize * static_cast<double>(i);
    if (kind == "step") return offset + stepSize * std::floor(seconds / period);
    return offset + amplitude * std::sin(2 * 3.14159265358979323846 * seconds / period);
}

void GeneratedSeries::ValueInto(std::size_t i, VARIANT& out) const {
    static const std::string generated = "a generated series";
    ScalarInto(out, type, json(ValueAt(i)), Place(generated, "")); // the type was tried when the file was read
}

void StoreGenerated(Item& item, bool keepRepeatedTimes) {
    if (!item.generated) return;
    const GeneratedSeries series = *item.generated;
    item.generated.reset();
    item.history.reserve(item.history.size() + series.count);
    for (std::size_t i = 0; i < series.count; ++i) {
        Sample sample{series.first + static_cast<Ticks>(i) * series.step, 0xC0 | kRawFlag, Variant()};
        series.ValueInto(i, *sample.value.Get());
        item.history.push_back(std::move(sample));
    }
    SortHistory(item.history, keepRepeatedTimes);
}

namespace {

class Loader {
public:
    Loader(SimData& data, const std::string& file) : data_(data), file_(file) {}

    void Load(const json& document) {
        const Place top(file_, "");
        if (!document.is_object()) top.Fail("the data file holds one JSON object");
        if (const json* server = Member(document, "server")) ReadServer(*server, top / "server");
        ReadBranchContents(document, data_.root, top);
    }

private:
    void ReadServer(const json& s, const Place& place) {
        if (!s.is_object()) place.Fail("expected an object");
        ServerOptions& o = data_.options;
        if (const json* v = Member(s, "maxValuesPerCall")) o.maxValuesPerCall = static_cast<DWORD>(Number(*v, place / "maxValuesPerCall"));
        o.qualifiedBrowseNames = Flag(s, "qualifiedBrowseNames", place, true);
        o.directAcceptsNames = Flag(s, "directAcceptsNames", place, false);
        if (const json* v = Member(s, "missingInterfaces"))
            for (std::size_t i = 0; i < v->size(); ++i) o.missingInterfaces.insert(Text((*v)[i], place / "missingInterfaces" / i));
        if (const json* v = Member(s, "failCalls"))
            for (auto it = v->begin(); it != v->end(); ++it) o.failCalls[it.key()] = ResultCode(it.value(), place / "failCalls" / it.key());
        if (const json* v = Member(s, "sFalseWithoutErrors"))
            for (std::size_t i = 0; i < v->size(); ++i) o.sFalseWithoutErrors.insert(Text((*v)[i], place / "sFalseWithoutErrors" / i));
        if (const json* v = Member(s, "delayMs"))
            for (auto it = v->begin(); it != v->end(); ++it)
                o.delayMs[it.key()] = static_cast<DWORD>(Number(it.value(), place / "delayMs" / it.key()));
        if (const json* v = Member(s, "faultOnCall"))
            for (auto it = v->begin(); it != v->end(); ++it) o.faultOnCall[it.key()] = ReadCallFault(it.value(), place / "faultOnCall" / it.key());
        if (const json* v = Member(s, "maxIntervalSeconds"))
            o.maxInterval = static_cast<Ticks>(Number(*v, place / "maxIntervalSeconds") * kTicksPerSecond);
        if (const json* v = Member(s, "emptyWrites"))
            o.storeEmptyWrites = Choice(*v, place / "emptyWrites", {"store", "refuse"}) == "store";
        if (const json* v = Member(s, "hostile")) {
            if (!v->is_object() || Member(*v, "seed") == nullptr) (place / "hostile").Fail("expected { \"seed\": N }");
            o.hostileSeed = static_cast<unsigned>(Number((*v)["seed"], place / "hostile" / "seed"));
        }
        if (const json* v = Member(s, "backwardReads"))
            o.backwardReads = Choice(*v, place / "backwardReads", {"answer", "fail", "outside"});
        if (const json* v = Member(s, "repeatedTimes"))
            o.keepRepeatedTimes = Choice(*v, place / "repeatedTimes", {"keep", "last"}) == "keep";
        if (const json* v = Member(s, "vendorInfo")) o.vendorInfo = Wide(Text(*v, place / "vendorInfo"));
    }

    static CallFault ReadCallFault(const json& f, const Place& place) {
        if (!f.is_object()) place.Fail("expected an object");
        CallFault fault;
        const json* call = Member(f, "call");
        if (call == nullptr || Number(*call, place / "call") < 1) (place / "call").Fail("expected the number of the call, from 1");
        fault.call = static_cast<unsigned>(Number(*call, place / "call"));
        if (const json* v = Member(f, "result")) fault.result = ResultCode(*v, place / "result");
        fault.empty = Flag(f, "empty", place, false);
        if (const json* v = Member(f, "itemError")) fault.itemError = ResultCode(*v, place / "itemError");
        if (const json* v = Member(f, "nullArray"))
            fault.nullArray = Choice(*v, place / "nullArray", {"times", "qualities", "values"});
        return fault;
    }

    void ReadBranchContents(const json& object, Branch& branch, const Place& place) {
        if (const json* branches = Member(object, "branches")) {
            if (!branches->is_array()) (place / "branches").Fail("expected a list of branches");
            for (std::size_t i = 0; i < branches->size(); ++i) ReadBranch((*branches)[i], branch, place / "branches" / i);
        }
        if (const json* items = Member(object, "items")) {
            if (!items->is_array()) (place / "items").Fail("expected a list of items");
            for (std::size_t i = 0; i < items->size(); ++i) ReadItem((*items)[i], branch, place / "items" / i);
        }
    }

    void ReadBranch(const json& b, Branch& parent, const Place& place) {
        if (!b.is_object()) place.Fail("expected an object");
        auto branch = std::make_unique<Branch>();
        branch->parent = &parent;
        if (const json* link = Member(b, "link")) {
            branch->linkTarget = Wide(Text(*link, place / "link"));
            branch->name = branch->linkTarget;
            parent.branches.push_back(std::move(branch));
            return;
        }
        const json* name = Member(b, "name");
        if (name == nullptr) place.Fail("a branch needs a \"name\"");
        branch->name = Wide(Text(*name, place / "name"));
        const json* id = Member(b, "id");
        branch->id = id != nullptr ? Wide(Text(*id, place / "id"))
                                   : (parent.id.empty() ? branch->name : parent.id + L"." + branch->name);
        if (data_.branchById.count(branch->id)) (place / "id").Fail("a second branch with the id \"" + Narrow(branch->id) + "\"");
        branch->noDirect = Flag(b, "noDirect", place);
        branch->itemIdFails = Flag(b, "itemIdFails", place);
        if (const json* v = Member(b, "enumFails")) branch->enumFails = ResultCode(*v, place / "enumFails");
        if (const json* v = Member(b, "enumFailsAfter")) branch->enumFailsAfter = static_cast<unsigned>(Number(*v, place / "enumFailsAfter"));
        data_.branchById[branch->id] = branch.get();
        ReadBranchContents(b, *branch, place);
        parent.branches.push_back(std::move(branch));
    }

    void ReadItem(const json& object, Branch& parent, const Place& place) {
        if (!object.is_object()) place.Fail("expected an object");
        Item item;
        const json* name = Member(object, "name");
        if (name == nullptr) place.Fail("an item needs a \"name\"");
        item.name = Wide(Text(*name, place / "name"));
        const json* id = Member(object, "id");
        item.id = id != nullptr ? Wide(Text(*id, place / "id")) : (parent.id.empty() ? item.name : parent.id + L"." + item.name);
        if (data_.itemById.count(item.id)) (place / "id").Fail("a second item with the id \"" + Narrow(item.id) + "\"");
        if (const json* type = Member(object, "type")) item.type = TypeValue(*type, place / "type");
        if (const json* d = Member(object, "description")) item.description = Wide(Text(*d, place / "description"));
        const LONG lowerBound = static_cast<LONG>(object.value("lowerBound", 0));
        if (const json* values = Member(object, "values")) ReadValues(*values, item, lowerBound, place / "values", data_.loadedAt);
        if (const json* g = Member(object, "generate")) Generate(*g, item, place / "generate", data_.loadedAt);
        if (item.generated && !item.history.empty()) StoreGenerated(item, data_.options.keepRepeatedTimes);
        SortHistory(item.history, data_.options.keepRepeatedTimes);
        if (const json* v = Member(object, "handleError")) item.handleError = ResultCode(*v, place / "handleError");
        if (const json* v = Member(object, "handleValue")) item.handleValue = static_cast<DWORD>(Number(*v, place / "handleValue"));
        if (const json* v = Member(object, "readError")) item.readError = ResultCode(*v, place / "readError");
        if (const json* v = Member(object, "maxIntervalSeconds"))
            item.maxInterval = static_cast<Ticks>(Number(*v, place / "maxIntervalSeconds") * kTicksPerSecond);
        if (const json* v = Member(object, "writeError")) item.writeError = ResultCode(*v, place / "writeError");
        if (const json* v = Member(object, "releaseError")) item.releaseError = ResultCode(*v, place / "releaseError");
        item.itemIdFails = Flag(object, "itemIdFails", place);
        data_.itemById[item.id] = data_.items.size();
        parent.items.push_back(data_.items.size());
        data_.items.push_back(std::move(item));
    }

    SimData& data_;
    const std::string& file_;
};

// The JSON of a value, the reverse of ValueOf; a type the data file cannot give is kept as its
// text (VT_BSTR).
json JsonOfScalar(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_EMPTY: return nullptr;
    case VT_R4: return V_R4(&v);
    case VT_R8: return V_R8(&v);
    case VT_DATE: return V_DATE(&v);
    case VT_I1: return V_I1(&v);
    case VT_I2: return V_I2(&v);
    case VT_I4: return V_I4(&v);
    case VT_I8: return V_I8(&v);
    case VT_UI1: return V_UI1(&v);
    case VT_UI2: return V_UI2(&v);
    case VT_UI4: return V_UI4(&v);
    case VT_UI8: return V_UI8(&v);
    case VT_BOOL: return V_BOOL(&v) != VARIANT_FALSE;
    case VT_BSTR: return Narrow(V_BSTR(&v) != nullptr ? V_BSTR(&v) : L"");
    case VT_DECIMAL: {
        double number = 0;
        VarR8FromDec(const_cast<DECIMAL*>(&V_DECIMAL(&v)), &number);
        return number;
    }
    default: {
        platform::UniqueVariant text;
        if (FAILED(VariantChangeTypeEx(text.Get(), const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR))) return nullptr;
        return Narrow(V_BSTR(text.Get()));
    }
    }
}

// The type a written value is kept as: its own where the data file can give it; an array of
// other elements as an array of variants, other scalars as text.
VARTYPE StoredType(VARTYPE type) {
    if (type & VT_ARRAY)
        return type == (VT_ARRAY | VT_R4) || type == (VT_ARRAY | VT_R8) ? type : static_cast<VARTYPE>(VT_ARRAY | VT_VARIANT);
    for (const auto& [name, known] : TypeNames())
        if (known == type) return type;
    return VT_BSTR;
}

std::string TypeName(VARTYPE type) {
    for (const auto& [name, known] : TypeNames())
        if (known == type) return name;
    return "VT_BSTR";
}

json JsonOfArray(const VARIANT& v, LONG& lowerBound) {
    json elements = json::array();
    SAFEARRAY* array = V_ARRAY(&v);
    LONG upper = -1;
    lowerBound = 0;
    if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lowerBound)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return elements;
    const VARTYPE elementType = V_VT(&v) & ~VT_ARRAY;
    for (LONG i = lowerBound; i <= upper; ++i) {
        platform::UniqueVariant element;
        if (elementType == VT_VARIANT) {
            SafeArrayGetElement(array, &i, element.Get());
        } else if (elementType == VT_DECIMAL) {
            SafeArrayGetElement(array, &i, &V_DECIMAL(element.Get())); // fills the whole VARIANT
            V_VT(element.Get()) = VT_DECIMAL;
        } else { // every other element lies where the union of the VARIANT starts
            V_VT(element.Get()) = elementType;
            SafeArrayGetElement(array, &i, &V_R8(element.Get()));
        }
        elements.push_back(JsonOfScalar(*element.Get()));
    }
    return elements;
}

// One line of the writes file: {"id", "ticks" (100 ns since 1601, exact), "time" (for the
// reader), then "quality", "type" and "value", or "deleteTo" for a deletion of [ticks, deleteTo)}.
json RecordHead(const std::wstring& itemId, Ticks ticks) {
    json line;
    line["id"] = Narrow(itemId);
    line["ticks"] = ticks;
    const FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32)};
    SYSTEMTIME st{};
    FileTimeToSystemTime(&ft, &st);
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond, st.wMilliseconds);
    line["time"] = text;
    return line;
}

// Replays the lines of the writes file over the loaded history, in the order they were written.
// A line of an item the data file no longer has is passed over (it applies again once the item
// is back); a line that cannot be read fails the load, naming its line.
void ApplyWrites(SimData& data, const std::wstring& writesFile) {
    std::ifstream in(writesFile.c_str(), std::ios::binary);
    if (!in) return;
    const std::string file = Narrow(writesFile);
    std::size_t number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty()) continue;
        const Place place(file, "line " + std::to_string(number));
        json line;
        try {
            line = json::parse(text);
        } catch (const json::parse_error&) {
            place.Fail("not a JSON object");
        }
        if (!line.is_object() || !line.contains("id") || !line.contains("ticks") || !line["ticks"].is_number_integer())
            place.Fail("expected an object with \"id\" and \"ticks\"");
        const auto found = data.itemById.find(Wide(Text(line["id"], place / "id")));
        if (found == data.itemById.end()) continue;
        StoreGenerated(data.items[found->second], data.options.keepRepeatedTimes);
        std::vector<Sample>& history = data.items[found->second].history;
        const Ticks ticks = line["ticks"].get<Ticks>();
        const auto at = [&](Ticks t) {
            return std::lower_bound(history.begin(), history.end(), t, [](const Sample& s, Ticks v) { return s.time < v; });
        };
        if (const json* to = Member(line, "deleteTo")) {
            if (!to->is_number_integer()) (place / "deleteTo").Fail("expected a number of ticks");
            history.erase(at(ticks), at(to->get<Ticks>()));
            continue;
        }
        const json* type = Member(line, "type");
        const json* quality = Member(line, "quality");
        if (type == nullptr || quality == nullptr) place.Fail("a written value needs \"type\" and \"quality\"");
        const json* value = Member(line, "value");
        Sample sample{ticks, QualityValue(*quality, place / "quality"),
                      ValueOf(TypeValue(*type, place / "type"), value != nullptr ? *value : json(),
                              static_cast<LONG>(line.value("lowerBound", 0)), place / "value")};
        const auto position = at(ticks);
        if (position != history.end() && position->time == ticks) *position = std::move(sample);
        else history.insert(position, std::move(sample));
    }
}

// "line 3, column 7" of a byte offset.
std::string LineAndColumn(const std::string& text, std::size_t offset) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') ++line, column = 1;
        else ++column;
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

} // namespace

std::string WrittenValueRecord(const std::wstring& itemId, const Sample& written) {
    json line = RecordHead(itemId, written.time);
    line["quality"] = written.quality;
    const VARIANT& value = *written.value.Get();
    line["type"] = TypeName(StoredType(V_VT(&value)));
    if (V_VT(&value) & VT_ARRAY) {
        LONG lowerBound = 0;
        line["value"] = JsonOfArray(value, lowerBound);
        if (lowerBound != 0) line["lowerBound"] = lowerBound;
    } else {
        line["value"] = JsonOfScalar(value);
    }
    return line.dump();
}

std::string DeletionRecord(const std::wstring& itemId, Ticks from, Ticks to) {
    json line = RecordHead(itemId, from);
    line["deleteTo"] = to;
    return line.dump();
}

std::unique_ptr<SimData> LoadSimData(const std::wstring& path, const std::wstring& writesFile) {
    const std::string file = Narrow(path);
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) throw DataFileError(file + ": cannot be opened");
    std::ostringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    json document;
    try {
        document = json::parse(text, nullptr, true, true);
    } catch (const json::parse_error& e) {
        throw DataFileError(file + ": " + LineAndColumn(text, e.byte > 0 ? e.byte - 1 : 0) + ": not valid JSON (" +
                            e.what() + ")");
    }
    auto data = std::make_unique<SimData>();
    data->loadedAt = NowTicks();
    try {
        Loader(*data, file).Load(document);
    } catch (const json::exception& e) {
        throw DataFileError(file + ": " + e.what());
    }
    // Links must lead somewhere.
    std::vector<const Branch*> pending{&data->root};
    while (!pending.empty()) {
        const Branch* b = pending.back();
        pending.pop_back();
        for (const auto& child : b->branches) {
            if (!child->linkTarget.empty() && !data->branchById.count(child->linkTarget))
                throw DataFileError(file + ": the link \"" + Narrow(child->linkTarget) + "\" leads to no branch");
            pending.push_back(child.get());
        }
    }
    if (!writesFile.empty()) {
        try {
            ApplyWrites(*data, writesFile);
        } catch (const json::exception& e) {
            throw DataFileError(Narrow(writesFile) + ": " + e.what());
        }
    }
    return data;
}

} // namespace kesti::sim
