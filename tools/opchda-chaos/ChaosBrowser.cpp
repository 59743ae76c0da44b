#include "ChaosBrowser.h"

#include <algorithm>

#include "HostileValues.h"

namespace kesti::chaos {

namespace {

const char* ModeName(NameEnumerator::Mode mode) {
    switch (mode) {
    case NameEnumerator::Mode::Normal: return "normal";
    case NameEnumerator::Mode::SilentForever: return "S_OK with nothing for ever";
    case NameEnumerator::Mode::FalseWithNames: return "S_FALSE with names";
    case NameEnumerator::Mode::Endless: return "endless";
    case NameEnumerator::Mode::FailHalfWay: return "fails half way";
    }
    return "?";
}

const char* TypeName(OPCHDA_BROWSETYPE type) {
    switch (type) {
    case OPCHDA_BRANCH: return "BRANCH";
    case OPCHDA_LEAF: return "LEAF";
    case OPCHDA_FLAT: return "FLAT";
    case OPCHDA_ITEMS: return "ITEMS";
    }
    return "type?";
}

} // namespace

NameEnumerator::NameEnumerator(std::shared_ptr<Chaos> chaos, std::wstring prefix, uint64_t count, Mode mode)
    : chaos_(std::move(chaos)), prefix_(std::move(prefix)), count_(count), mode_(mode) {}

HRESULT NameEnumerator::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumString)) {
        *object = static_cast<IEnumString*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT NameEnumerator::Next(ULONG celt, LPOLESTR* rgelt, ULONG* fetched) {
    Chaos::Call call(*chaos_, "IEnumString::Next");
    call.Note(std::string(ModeName(mode_)) + " at " + std::to_string(next_) + " asked " + std::to_string(celt));
    if (rgelt == nullptr) return call.Result(E_POINTER);
    ULONG given = 0;
    if (mode_ == Mode::SilentForever) {
        if (fetched != nullptr) *fetched = 0;
        return call.Result(S_OK);
    }
    if (mode_ == Mode::FailHalfWay && next_ >= count_ / 2) {
        if (fetched != nullptr) *fetched = 0;
        return call.Result(RefusalCode(*chaos_));
    }
    const uint64_t left = mode_ == Mode::Endless ? UINT64_MAX : count_ - std::min(next_, count_);
    // A short answer under S_OK now and then: a client must not take it for the end.
    ULONG want = static_cast<ULONG>(std::min<uint64_t>(celt, left));
    if (want > 1 && chaos_->Hostile(0.1)) {
        want = static_cast<ULONG>(chaos_->Between(1, static_cast<int>(want) - 1));
        call.Note("short answer of " + std::to_string(want));
    }
    std::string odd;
    for (; given < want; ++given) {
        if (chaos_->Hostile(0.01)) {
            rgelt[given] = nullptr;
            odd = "a NULL name";
            continue;
        }
        std::string what;
        rgelt[given] = tools::CoTaskText(Name(*chaos_, prefix_.c_str(), next_ + given, what));
        if (!what.empty()) odd = what;
    }
    next_ += given;
    if (!odd.empty()) call.Note("among them " + odd);
    if (fetched != nullptr) *fetched = given;
    if (mode_ == Mode::FalseWithNames && given > 0) return call.Result(S_FALSE);
    if (mode_ == Mode::Endless) return call.Result(S_OK);
    return call.Result(given == celt || (want < celt && want < left) ? S_OK : S_FALSE);
}

HRESULT NameEnumerator::Skip(ULONG celt) {
    Chaos::Call call(*chaos_, "IEnumString::Skip");
    next_ += celt;
    return call.Result(next_ <= count_ || mode_ == Mode::Endless ? S_OK : S_FALSE);
}

HRESULT NameEnumerator::Reset() {
    Chaos::Call call(*chaos_, "IEnumString::Reset");
    next_ = 0;
    return call.Result(chaos_->Hostile(0.2) ? RefusalCode(*chaos_) : S_OK);
}

HRESULT NameEnumerator::Clone(IEnumString** copy) {
    Chaos::Call call(*chaos_, "IEnumString::Clone");
    if (copy == nullptr) return call.Result(E_POINTER);
    *copy = nullptr;
    if (chaos_->Hostile(0.3)) {
        call.Note("NULL clone");
        return call.Result(S_OK);
    }
    auto* clone = new NameEnumerator(chaos_, prefix_, count_, mode_);
    clone->next_ = next_;
    *copy = clone;
    return call.Result(S_OK);
}

ChaosBrowser::ChaosBrowser(std::shared_ptr<Chaos> chaos) : chaos_(std::move(chaos)) {}

HRESULT ChaosBrowser::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCHDA_Browser)) {
        *object = static_cast<IOPCHDA_Browser*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

std::size_t ChaosBrowser::Depth() const {
    return position_.empty() ? 0 : static_cast<std::size_t>(std::count(position_.begin(), position_.end(), L'.')) + 1;
}

HRESULT ChaosBrowser::GetEnum(OPCHDA_BROWSETYPE type, LPENUMSTRING* enumerator) {
    Chaos::Call call(*chaos_, "GetEnum");
    call.Note(std::string(TypeName(type)) + " at \"" + Narrow(position_) + "\"");
    if (enumerator == nullptr) return call.Result(E_POINTER);
    *enumerator = nullptr;
    if (chaos_->Hostile(0.1)) return call.Result(RefusalCode(*chaos_));
    if (chaos_->Hostile(0.05)) {
        call.Note("NULL enumerator");
        return call.Result(chaos_->Chance(0.5) ? S_OK : S_FALSE);
    }
    uint64_t count = 0;
    const wchar_t* prefix = L"T";
    if (type == OPCHDA_BRANCH) {
        prefix = L"B";
        count = Depth() < 3 ? static_cast<uint64_t>(chaos_->Between(0, 3)) : 0;
        if (chaos_->Hostile(0.2)) {
            count = 1; // a chain of single branches with no end
            call.Note("an endless chain of branches");
        }
    } else {
        if (type == OPCHDA_FLAT) prefix = L"F";
        count = static_cast<uint64_t>(chaos_->Between(0, 12));
    }
    if (chaos_->Hostile(0.04)) {
        count = static_cast<uint64_t>(chaos_->Between(20000, 60000));
        call.Note("tens of thousands of names");
    }
    auto mode = NameEnumerator::Mode::Normal;
    if (chaos_->Hostile(0.15)) {
        const int pick = chaos_->Between(0, 9);
        mode = pick < 2   ? NameEnumerator::Mode::SilentForever
               : pick < 6 ? NameEnumerator::Mode::FalseWithNames
               : pick < 7 ? NameEnumerator::Mode::Endless
                          : NameEnumerator::Mode::FailHalfWay;
    }
    call.Note(std::to_string(count) + " names, " + ModeName(mode));
    *enumerator = new NameEnumerator(chaos_, prefix, count, mode);
    return call.Result(chaos_->Hostile(0.1) ? S_FALSE : S_OK);
}

HRESULT ChaosBrowser::ChangeBrowsePosition(OPCHDA_BROWSEDIRECTION direction, LPCWSTR text) {
    Chaos::Call call(*chaos_, "ChangeBrowsePosition");
    const std::wstring to = text != nullptr ? text : L"";
    call.Note(std::to_string(direction) + " \"" + Narrow(to) + "\"");
    if (chaos_->Hostile(0.1)) return call.Result(RefusalCode(*chaos_));
    if (chaos_->Hostile(0.1)) {
        call.Note("stays where it is"); // a branch that leads back to itself
        return call.Result(S_OK);
    }
    if (direction == OPCHDA_BROWSE_DIRECT) position_ = to;
    else if (direction == OPCHDA_BROWSE_DOWN) position_ = position_.empty() ? to : position_ + L"." + to;
    else if (direction == OPCHDA_BROWSE_UP) {
        if (position_.empty()) return call.Result(E_FAIL);
        const std::size_t dot = position_.rfind(L'.');
        position_ = dot == std::wstring::npos ? L"" : position_.substr(0, dot);
    } else {
        return call.Result(E_INVALIDARG);
    }
    return call.Result(S_OK);
}

HRESULT ChaosBrowser::GetItemID(LPCWSTR node, LPWSTR* itemId) {
    Chaos::Call call(*chaos_, "GetItemID");
    const std::wstring name = node != nullptr ? node : L"";
    call.Note("\"" + Narrow(name) + "\"");
    if (itemId == nullptr) return call.Result(E_POINTER);
    *itemId = nullptr;
    if (chaos_->Hostile(0.05)) return call.Result(RefusalCode(*chaos_));
    if (chaos_->Hostile(0.05)) {
        call.Note("NULL item id");
        return call.Result(S_OK);
    }
    std::wstring id = position_.empty() || position_ == L"OPC" ? name : position_ + L"." + name;
    if (chaos_->Hostile(0.1)) {
        switch (chaos_->Between(0, 4)) {
        case 0: id.clear(); call.Note("empty item id"); break;
        case 1: id = L"P.T0"; call.Note("the same item id for every name"); break;
        case 2: id += L"\r\n\x01\x1b"; call.Note("control characters"); break;
        case 3: id.assign(static_cast<std::size_t>(chaos_->Between(1000, 100000)), L'I'); call.Note("a huge item id"); break;
        default: id = L"\xD800\xDFFF\xD800"; call.Note("lone surrogates"); break;
        }
    }
    *itemId = tools::CoTaskText(id);
    return call.Result(S_OK);
}

HRESULT ChaosBrowser::GetBranchPosition(LPWSTR* position) {
    Chaos::Call call(*chaos_, "GetBranchPosition");
    if (position == nullptr) return call.Result(E_POINTER);
    *position = nullptr;
    if (chaos_->Hostile(0.1)) return call.Result(RefusalCode(*chaos_));
    if (chaos_->Hostile(0.1)) {
        call.Note("NULL position");
        return call.Result(S_OK);
    }
    *position = tools::CoTaskText(chaos_->Hostile(0.1) ? std::wstring(L"\x01nowhere") : position_);
    return call.Result(S_OK);
}

} // namespace kesti::chaos
