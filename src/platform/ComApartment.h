#pragma once
// COM for the calling thread, held for the life of the owner: CoUninitialize is called
// once, on the thread that called CoInitializeEx, and only when that call succeeded.
#include <utility>

#include <objbase.h>

namespace kesti::platform {

class ComApartment {
public:
    // COINIT_MULTITHREADED or COINIT_APARTMENTTHREADED.
    explicit ComApartment(DWORD model) noexcept : result_(CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(ComApartment&& other) noexcept : result_(std::exchange(other.result_, CO_E_NOTINITIALIZED)) {}
    ComApartment& operator=(ComApartment&&) = delete;
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // S_OK or S_FALSE when this owner holds an initialisation; RPC_E_CHANGED_MODE when the
    // thread is already in another apartment (COM can still be used then).
    HRESULT Result() const noexcept { return result_; }
    bool Holds() const noexcept { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

} // namespace kesti::platform
