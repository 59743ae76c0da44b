#pragma once
// What an out-of-process COM server of the tools needs around its objects: a count of live
// objects and server locks that ends the process when it drops to zero, a reference-counted
// base for objects, and a class factory. Each activation gets a process of its own
// (REGCLS_SINGLEUSE), so a test's data file and writes never leak into another connection.
#include <atomic>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include <objbase.h>

#include "platform/ComMemory.h"

namespace kesti::tools {

class ServerLifetime {
public:
    static ServerLifetime& Instance() {
        static ServerLifetime lifetime;
        return lifetime;
    }
    void Lock() { ++count_; }
    // Ends the wait at once, for an activation that failed before any object was made.
    void RequestShutdown() { SetEvent(done_); }
    void Unlock() {
        if (--count_ == 0) SetEvent(done_);
    }
    // Waits until the last object and lock are gone (or no client came within the grace time).
    void WaitUntilUnused(DWORD graceMs) {
        if (WaitForSingleObject(done_, graceMs) == WAIT_TIMEOUT && count_ > 0) WaitForSingleObject(done_, INFINITE);
    }

private:
    ServerLifetime() : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    std::atomic<long> count_{0};
    HANDLE done_;
};

// Ends a server process once its last object is gone. The call that released it (or that
// failed to make it) may still be sending its reply on an RPC thread: revoking the class
// objects and uninitialising COM under it can hang the process under Wine, holding on to
// its client's output, so the process lets the reply go out and then simply ends.
[[noreturn]] inline void EndServerProcess() {
    Sleep(200);
    ExitProcess(0);
}

// IUnknown for an object that implements the interfaces listed in its QueryInterface table.
class ComObjectBase {
public:
    ComObjectBase() { ServerLifetime::Instance().Lock(); }
    virtual ~ComObjectBase() { ServerLifetime::Instance().Unlock(); }
    ComObjectBase(const ComObjectBase&) = delete;
    ComObjectBase& operator=(const ComObjectBase&) = delete;

protected:
    ULONG AddRefImpl() { return ++references_; }
    ULONG DecrementImpl() { return --references_; }

private:
    std::atomic<ULONG> references_{1};
};

// The most derived class deletes itself, so that no base pointer with an offset is deleted.
#define KESTI_COM_REFCOUNT                                                      \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }          \
    ULONG STDMETHODCALLTYPE Release() override {                                \
        const ULONG left = DecrementImpl();                                     \
        if (left == 0) delete this;                                             \
        return left;                                                            \
    }

// Creates objects of one class; the creator returns a new object with one reference. The
// factory itself does not keep the process alive (COM holds it until it is revoked): only
// the objects it made and the clients' server locks do.
// Hands a newly made object (reference count 1) to its creator as `riid`, or lets it go.
template <class Object>
HRESULT HandOut(Object* fresh, REFIID riid, void** object) {
    const HRESULT result = fresh->QueryInterface(riid, object);
    fresh->Release();
    return result;
}

class ClassFactory : public IClassFactory {
public:
    using Creator = std::function<HRESULT(REFIID, void**)>;
    explicit ClassFactory(Creator creator) : creator_(std::move(creator)) {}
    virtual ~ClassFactory() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return creator_(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) ServerLifetime::Instance().Lock();
        else ServerLifetime::Instance().Unlock();
        return S_OK;
    }

private:
    Creator creator_;
    std::atomic<ULONG> references_{1};
};

// Copies a wide text into task memory, as COM outputs are handed over.
inline wchar_t* CoTaskText(const std::wstring& text) {
    return platform::CopyToCoTaskMem(text.c_str());
}

template <class T>
T* CoTaskArray(std::size_t count) {
    auto* block = static_cast<T*>(CoTaskMemAlloc(sizeof(T) * (count > 0 ? count : 1)));
    if (block != nullptr) memset(block, 0, sizeof(T) * (count > 0 ? count : 1));
    return block;
}

} // namespace kesti::tools
