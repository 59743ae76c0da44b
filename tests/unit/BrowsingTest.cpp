// Reading a server's lists of names when the server will not stop giving them, gives names
// that cannot be used, or answers too slowly.
#include <gtest/gtest.h>

#include <string>

#include "FakeCom.h"
#include "common/Files.h"
#include "TempDataFolder.h"
#include "opchda/Browsing.h"
#include "platform/ComMemory.h"

namespace kesti::test {
namespace {

// An enumerator that gives full batches of names for ever.
class EndlessNames : public FakeComObject<IEnumString> {
public:
    EndlessNames() : FakeComObject(IID_IEnumString) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG count, LPOLESTR* names, ULONG* fetched) override {
        for (ULONG i = 0; i < count; ++i) names[i] = platform::CopyToCoTaskMem(NameAt(next_++).c_str());
        if (fetched != nullptr) *fetched = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString**) override { return E_NOTIMPL; }

protected:
    virtual std::wstring NameAt(unsigned n) const { return std::to_wstring(n); }

private:
    unsigned next_ = 0;
};

// Every tenth name empty, every tenth too long; the others numbers.
class NamesWithUnusable : public EndlessNames {
    std::wstring NameAt(unsigned n) const override {
        if (n % 10 == 3) return L"";
        if (n % 10 == 7) return std::wstring(kMaxNameLength + 1, L'x');
        return std::to_wstring(n);
    }
};

// S_OK with nothing fetched, for ever, as COM's stub hands it on: a full batch of NULL names.
class NothingForEver : public EndlessNames {
public:
    int calls = 0;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, LPOLESTR* names, ULONG* fetched) override {
        ++calls;
        for (ULONG i = 0; i < count; ++i) names[i] = nullptr;
        *fetched = count;
        return S_OK;
    }
};

// A browser whose item ids are the names with a prefix.
class PrefixBrowser : public FakeComObject<IOPCHDA_Browser> {
public:
    PrefixBrowser() : FakeComObject(IID_IOPCHDA_Browser) {}
    HRESULT STDMETHODCALLTYPE GetEnum(OPCHDA_BROWSETYPE, IEnumString**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCHDA_BROWSEDIRECTION, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetItemID(LPCWSTR name, LPWSTR* itemId) override {
        if (delay_ > 0) Sleep(delay_);
        // Names ending in 5 get S_OK and no text, as a careless server may answer.
        *itemId = std::wstring(name).back() == L'5' ? nullptr : platform::CopyToCoTaskMem((L"P." + std::wstring(name)).c_str());
        return S_OK;
    }
    DWORD delay_ = 0;
    HRESULT STDMETHODCALLTYPE GetBranchPosition(LPWSTR*) override { return E_NOTIMPL; }
};

using BrowsingTest = TempDataFolderTest;

TEST_F(BrowsingTest, AListThatNeverEndsIsReadUpToTheLimitWithOneRecord) {
    auto* names = new EndlessNames();
    auto* browser = new PrefixBrowser();
    BrowseBudget budget(kMaxBrowseNames, std::chrono::hours(1));
    const std::vector<BrowseRecord> records = ReadBrowseRecords(*browser, *names, budget, 250);
    ASSERT_EQ(records.size(), 250u);
    EXPECT_EQ(records[249].browseName, "249");
    EXPECT_EQ(records[249].itemId, "P.249");
    EXPECT_EQ(records[245].itemId, "") << "a success without a text is no item id";
    EXPECT_NE(LogText().find("[Error]\r\nIOPCHDA_Browser::GetItemID failed: "), std::string::npos);
    EXPECT_NE(LogText().find("[Error]\r\nBrowsing stopped after 250 names: the server offers more in one list than the "
                             "plug-in takes."),
              std::string::npos)
        << LogText();
    names->Release();
    browser->Release();
}

TEST_F(BrowsingTest, EmptyAndOverlongNamesAreLeftOutAndABatchOfNoneEndsTheList) {
    auto* names = new NamesWithUnusable();
    auto* browser = new PrefixBrowser();
    BrowseBudget budget(kMaxBrowseNames, std::chrono::hours(1));
    const std::vector<BrowseRecord> records = ReadBrowseRecords(*browser, *names, budget, 100);
    EXPECT_EQ(records.size(), 80u);
    for (const BrowseRecord& record : records) EXPECT_LE(record.browseName.size(), 2u);
    EXPECT_EQ(Occurrences(LogText(), "IEnumString::Next gave 20 names that are empty or longer than 4096 characters; "
                                     "they are left out."), 1u)
        << LogText();
    names->Release();

    auto* nothing = new NothingForEver();
    EXPECT_TRUE(ReadBrowseRecords(*browser, *nothing, budget).empty());
    EXPECT_EQ(nothing->calls, 1) << "a batch without a usable name ends the list";
    nothing->Release();
    browser->Release();
}

TEST_F(BrowsingTest, ASlowServerOrAHugeTreeStopsTheWalkWithOneRecord) {
    auto* names = new EndlessNames();
    auto* browser = new PrefixBrowser();
    browser->delay_ = 20;
    BrowseBudget slow(kMaxBrowseNames, std::chrono::milliseconds(300));
    const std::size_t listed = ReadBrowseRecords(*browser, *names, slow).size();
    EXPECT_GT(listed, 0u);
    EXPECT_LT(listed, 100u) << "the walk went on past its time";
    EXPECT_EQ(Occurrences(LogText(), "seconds (the ServerTimeLimit setting): the server answers too slowly"), 1u) << LogText();

    browser->delay_ = 0;
    BrowseBudget few(150, std::chrono::hours(1));
    EXPECT_EQ(ReadBrowseRecords(*browser, *names, few).size(), 150u);
    EXPECT_FALSE(few.GoesOn());
    EXPECT_EQ(Occurrences(LogText(), "Browsing stopped after 150 names in all"), 1u) << LogText();
    names->Release();
    browser->Release();
}

} // namespace
} // namespace kesti::test
