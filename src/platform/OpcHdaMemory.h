#pragma once
// How the OPC HDA structures that servers return in task memory let go of their arrays, so
// that UniqueCoTaskMemArray<OPCHDA_ITEM> (and the others) free a whole result at once.
#include "opchda.h"
#include "platform/ComMemory.h"

namespace kesti::platform {

namespace detail {
// Clears count elements of a task-memory array and frees it.
template <class T>
void FreeTaskMemArray(T*& block, std::size_t count) noexcept {
    UniqueCoTaskMemArray<T> owner(block, count);
    block = nullptr;
}
// The time stamps, qualities and values that OPCHDA_ITEM and OPCHDA_MODIFIEDITEM share.
template <class Item>
void FreeValueArrays(Item& item) noexcept {
    FreeTaskMemArray(item.pftTimeStamps, item.dwCount);
    FreeTaskMemArray(item.pdwQualities, item.dwCount);
    FreeTaskMemArray(item.pvDataValues, item.dwCount);
}
} // namespace detail

template <>
struct TaskMemElement<OPCHDA_ITEM> {
    static void Clear(OPCHDA_ITEM& item) noexcept {
        detail::FreeValueArrays(item);
        item.dwCount = 0;
    }
};

template <>
struct TaskMemElement<OPCHDA_MODIFIEDITEM> {
    static void Clear(OPCHDA_MODIFIEDITEM& item) noexcept {
        detail::FreeValueArrays(item);
        detail::FreeTaskMemArray(item.pftModificationTime, item.dwCount);
        detail::FreeTaskMemArray(item.pEditType, item.dwCount);
        detail::FreeTaskMemArray(item.szUser, item.dwCount);
        item.dwCount = 0;
    }
};

template <>
struct TaskMemElement<OPCHDA_ATTRIBUTE> {
    static void Clear(OPCHDA_ATTRIBUTE& attribute) noexcept {
        detail::FreeTaskMemArray(attribute.ftTimeStamps, attribute.dwNumValues);
        detail::FreeTaskMemArray(attribute.vAttributeValues, attribute.dwNumValues);
        attribute.dwNumValues = 0;
    }
};

// An OPCHDA_TIME whose text lives in task memory, as the [in, out] times of ReadRaw want it.
class RequestTime {
public:
    RequestTime() noexcept { time_.szTime = CopyToCoTaskMem(L""); }
    ~RequestTime() { UniqueCoTaskMemString discarded(time_.szTime); }
    RequestTime(RequestTime&& other) noexcept : time_(other.time_) { other.time_.szTime = nullptr; }
    RequestTime& operator=(RequestTime&&) = delete;
    RequestTime(const RequestTime&) = delete;
    RequestTime& operator=(const RequestTime&) = delete;

    void SetText(const wchar_t* text) noexcept {
        UniqueCoTaskMemString previous(time_.szTime);
        time_.bString = TRUE;
        time_.szTime = CopyToCoTaskMem(text);
    }
    void SetTime(const FILETIME& ft) noexcept {
        time_.bString = FALSE;
        time_.ftTime = ft;
    }
    OPCHDA_TIME* Get() noexcept { return &time_; }
    const OPCHDA_TIME& operator*() const noexcept { return time_; }

private:
    OPCHDA_TIME time_{};
};

} // namespace kesti::platform
