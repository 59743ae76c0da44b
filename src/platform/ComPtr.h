#pragma once
// Interface pointers: Microsoft::WRL::ComPtr, and a typed QueryInterface that gives the
// result code with the pointer.
#include <objbase.h>
#include <wrl/client.h>

namespace kesti::platform {

using Microsoft::WRL::ComPtr;

// The interface I of the object, with the result of the query; a failed query, or a
// successful one that hands back nothing, gives a null pointer and a failure code.
template <class I>
struct QueryResult {
    ComPtr<I> pointer;
    HRESULT result = E_NOINTERFACE;
};

template <class I, class From>
QueryResult<I> Query(From* object) noexcept {
    QueryResult<I> query;
    if (object == nullptr) {
        query.result = E_POINTER;
        return query;
    }
    query.result = object->QueryInterface(__uuidof(I), reinterpret_cast<void**>(query.pointer.GetAddressOf()));
    if (SUCCEEDED(query.result) && !query.pointer) query.result = E_NOINTERFACE;
    if (FAILED(query.result)) query.pointer.Reset();
    return query;
}

} // namespace kesti::platform
