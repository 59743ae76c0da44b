#include "RawAnswer.h"

#include <algorithm>
#include <vector>

#include "ComServerHost.h"
#include "HostileValues.h"

namespace kesti::chaos {

namespace {

constexpr uint64_t kYear = 365ull * 24 * 3600 * kTicksPerSecond;

// The stored times of an item: one every 1, 10, 60 or 600 seconds, by its handle.
uint64_t StepOf(OPCHANDLE handle) {
    static const uint64_t seconds[] = {1, 10, 60, 600};
    return seconds[handle % 4] * kTicksPerSecond;
}

// The sound answer's times: up to `limit` stored times of the stretch, in its direction.
std::vector<uint64_t> SoundTimes(const RawRequest& r, uint64_t step, std::size_t limit, bool& more) {
    std::vector<uint64_t> times;
    more = false;
    // An unspecified start reads backwards from the end; an unspecified end forwards from the start.
    const bool forward = !r.startGiven ? false : !r.endGiven ? true : r.start <= r.end;
    const bool bounded = r.startGiven && r.endGiven;
    const uint64_t from = r.startGiven ? r.start : r.end;
    if (bounded && r.start == r.end) {
        if (r.start % step == 0) times.push_back(r.start);
        return times;
    }
    const auto add = [&](uint64_t t) {
        if (times.size() == limit) more = true;
        else times.push_back(t);
        return !more;
    };
    if (forward) {
        uint64_t t = from % step == 0 ? from : from - from % step + step;
        if (r.bounds && t != from && t >= step) t -= step; // the bound before the start
        for (; (!bounded || t < r.end) && add(t) && t <= UINT64_MAX - step; t += step) {}
    } else {
        uint64_t t = from - from % step;
        for (; (!bounded || t > r.end) && add(t) && t >= step; t -= step) {}
    }
    return times;
}

} // namespace

bool TimeOf(const OPCHDA_TIME& time, uint64_t& ticks) {
    if (!time.bString) {
        ticks = Ticks(time.ftTime);
        return true;
    }
    if (time.szTime == nullptr || time.szTime[0] == L'\0') return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ticks = Ticks(now);
    return true;
}

HRESULT FillRawItem(Chaos& chaos, Chaos::Call& call, RawRequest& request, OPCHANDLE handle, OPCHDA_ITEM& item) {
    const uint64_t step = StepOf(handle);
    const std::size_t asked = request.numValues == 0 ? request.serverMaximum
                                                     : std::min<std::size_t>(request.numValues, request.serverMaximum);
    bool more = false;
    std::vector<uint64_t> times = SoundTimes(request, step, asked, more);
    HRESULT result = more ? kMoreData : times.empty() ? kNoData : S_OK;
    item.hClient = handle;
    std::string note = "item " + std::to_string(handle) + ":";
    const uint64_t anchor = request.startGiven ? request.start : request.end;

    bool nullArrays = false;
    if (chaos.Hostile(0.6)) {
        std::string what;
        switch (chaos.Between(0, 10)) {
        case 0: nullArrays = true; break;
        case 1:
            std::shuffle(times.begin(), times.end(), std::mt19937(chaos.Bits32()));
            note += " times out of order";
            break;
        case 2:
            if (!times.empty()) std::fill(times.begin(), times.end(), times.front());
            note += " one time repeated";
            break;
        case 3:
            for (uint64_t& t : times) t = WildTicks(chaos, what);
            note += " wild times (" + what + " and more)";
            break;
        case 4: {
            const uint64_t shift = static_cast<uint64_t>(chaos.Between(1, 400)) * kYear;
            const bool later = chaos.Chance(0.5);
            for (uint64_t& t : times) t = later ? t + shift : (t > shift ? t - shift : 0);
            note += later ? " times years after the stretch" : " times years before the stretch";
            break;
        }
        case 5:
            times.assign(1, anchor + 1);
            result = kMoreData;
            note += " MOREDATA for ever, 100 ns on";
            break;
        case 6:
            times.assign(static_cast<std::size_t>(chaos.Between(1, 3)), anchor > kTicksPerSecond ? anchor - kTicksPerSecond : 0);
            result = kMoreData;
            note += " MOREDATA with times going backwards";
            break;
        case 7:
            if (times.empty()) times.push_back(anchor);
            result = kNoData;
            note += " NODATA with values";
            break;
        case 8:
            result = ItemCode(chaos);
            note += " code " + Hex(static_cast<uint32_t>(result)) + " with values";
            break;
        case 9:
            times.clear();
            result = kMoreData;
            note += " MOREDATA with no values";
            break;
        default: {
            const std::size_t extra = static_cast<std::size_t>(chaos.Between(1, 5000));
            const uint64_t last = times.empty() ? anchor : times.back();
            for (std::size_t i = 1; i <= extra; ++i) times.push_back(last + i * step);
            note += " " + std::to_string(extra) + " values more than asked";
        }
        }
    }

    const DWORD count = static_cast<DWORD>(times.size());
    if (nullArrays) {
        const int which = chaos.Between(1, 7);
        item.dwCount = chaos.Chance(0.2) ? 0xFFFFFFFFu : std::max<DWORD>(count, 1);
        note += " count " + std::to_string(item.dwCount) + " with NULL" + (which & 1 ? " times" : "") +
                (which & 2 ? " qualities" : "") + (which & 4 ? " values" : "");
        if (item.dwCount == 0xFFFFFFFFu) {
            call.Note(note + " (and NULL for all three)");
            return result; // only NULL arrays can claim that many on the wire
        }
        if (!(which & 1)) item.pftTimeStamps = tools::CoTaskArray<FILETIME>(item.dwCount);
        if (!(which & 2)) item.pdwQualities = tools::CoTaskArray<DWORD>(item.dwCount);
        if (!(which & 4)) {
            item.pvDataValues = tools::CoTaskArray<VARIANT>(item.dwCount); // zeroed: VT_EMPTY
        }
        call.Note(note);
        return result;
    }

    item.dwCount = count;
    item.pftTimeStamps = tools::CoTaskArray<FILETIME>(count);
    item.pdwQualities = tools::CoTaskArray<DWORD>(count);
    item.pvDataValues = tools::CoTaskArray<VARIANT>(count);
    if (item.pftTimeStamps == nullptr || item.pdwQualities == nullptr || item.pvDataValues == nullptr) {
        CoTaskMemFree(item.pftTimeStamps);
        CoTaskMemFree(item.pdwQualities);
        CoTaskMemFree(item.pvDataValues);
        item = OPCHDA_ITEM{};
        call.Note(note + " out of memory");
        return E_OUTOFMEMORY;
    }
    ValueKind kind = DrawValueKind(chaos);
    if (kind == ValueKind::HugeText && request.hugeTextUsed) kind = ValueKind::Text;
    if (kind != ValueKind::Double) note += std::string(" values: ") + KindName(kind);
    const bool oddQualities = chaos.Hostile(0.2);
    if (oddQualities) note += " random qualities";
    for (DWORD i = 0; i < count; ++i) {
        item.pftTimeStamps[i] = Time(times[i]);
        item.pdwQualities[i] = oddQualities ? chaos.Bits32() : 0xC0u | 0x00040000u;
        const ValueKind valueKind = kind == ValueKind::HugeText && i > 0 ? ValueKind::Double : kind;
        MakeValue(chaos, valueKind, static_cast<double>((times[i] / step) % 1000), item.pvDataValues[i]);
    }
    if (kind == ValueKind::HugeText && count > 0) request.hugeTextUsed = true;
    if (chaos.Hostile(0.05)) {
        item.hClient = chaos.Bits32();
        note += " random hClient";
    }
    if (chaos.Hostile(0.05)) {
        item.haAggregate = chaos.Bits32();
        note += " random aggregate";
    }
    note += " " + std::to_string(count) + " values";
    call.Note(note);
    return result;
}

} // namespace kesti::chaos
