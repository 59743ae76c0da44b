// Reading a server's lists of names when the server will not stop giving them.
#include <gtest/gtest.h>

#include <string>

#include "FakeCom.h"
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
        for (ULONG i = 0; i < count; ++i) names[i] = platform::CopyToCoTaskMem(std::to_wstring(next_++).c_str());
        if (fetched != nullptr) *fetched = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString**) override { return E_NOTIMPL; }

private:
    unsigned next_ = 0;
};

// A browser whose item ids are the names with a prefix.
class PrefixBrowser : public FakeComObject<IOPCHDA_Browser> {
public:
    PrefixBrowser() : FakeComObject(IID_IOPCHDA_Browser) {}
    HRESULT STDMETHODCALLTYPE GetEnum(OPCHDA_BROWSETYPE, IEnumString**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCHDA_BROWSEDIRECTION, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetItemID(LPCWSTR name, LPWSTR* itemId) override {
        *itemId = platform::CopyToCoTaskMem((L"P." + std::wstring(name)).c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBranchPosition(LPWSTR*) override { return E_NOTIMPL; }
};

using BrowsingTest = TempDataFolderTest;

TEST_F(BrowsingTest, AListThatNeverEndsIsReadUpToTheLimitWithOneRecord) {
    auto* names = new EndlessNames();
    auto* browser = new PrefixBrowser();
    const std::vector<BrowseRecord> records = ReadBrowseRecords(*browser, *names, 250);
    ASSERT_EQ(records.size(), 250u);
    EXPECT_EQ(records[249].browseName, "249");
    EXPECT_EQ(records[249].itemId, "P.249");
    EXPECT_NE(LogText().find("[Error]\r\nBrowsing stopped after 250 names: the server offers more in one list than the "
                             "plug-in takes."),
              std::string::npos)
        << LogText();
    names->Release();
    browser->Release();
}

} // namespace
} // namespace kesti::test
