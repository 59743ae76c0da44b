#pragma once
// A minimal in-process COM object for tests that need precise control over what a server
// or a server list answers.
#include <atomic>

#include <objbase.h>

namespace kesti::test {

template <class Interface>
class FakeComObject : public Interface {
public:
    explicit FakeComObject(const IID& iid) : iid_(iid) {}
    virtual ~FakeComObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
            *object = static_cast<Interface*>(this);
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

private:
    IID iid_;
    std::atomic<ULONG> references_{1};
};

} // namespace kesti::test
