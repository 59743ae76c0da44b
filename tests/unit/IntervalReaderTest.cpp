// Joining the values of two halves of a read interval, and reading on after OPC_S_MOREDATA
// from a server that will not stop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeCom.h"
#include "opchda/IntervalReader.h"
#include "opchda/OpcHdaConstants.h"

namespace kesti {
namespace {

constexpr DWORD kGood = opc::kQualityGood | opc::kRaw;
constexpr DWORD kPlaceholder = opc::kNoBound;

struct Value {
    std::int64_t time;
    DWORD quality;
};

template <class T>
T* TaskArray(std::size_t n) {
    return static_cast<T*>(CoTaskMemAlloc(sizeof(T) * (n > 0 ? n : 1)));
}

// A series over one answer of the server, as ReadRaw gives it: each value is its own time.
RawSeries SeriesOf(const std::vector<Value>& values, HRESULT error = S_OK) {
    OPCHDA_ITEM* item = TaskArray<OPCHDA_ITEM>(1);
    *item = OPCHDA_ITEM{};
    const std::size_t n = values.size();
    item->dwCount = static_cast<DWORD>(n);
    item->pftTimeStamps = TaskArray<FILETIME>(n);
    item->pdwQualities = TaskArray<DWORD>(n);
    item->pvDataValues = TaskArray<VARIANT>(n);
    for (std::size_t k = 0; k < n; ++k) {
        item->pftTimeStamps[k] = FileTimeOfTicks(values[k].time);
        item->pdwQualities[k] = values[k].quality;
        VariantInit(&item->pvDataValues[k]);
        V_VT(&item->pvDataValues[k]) = VT_I4;
        V_I4(&item->pvDataValues[k]) = static_cast<LONG>(values[k].time);
    }
    RawSeries s;
    s.error = error;
    s.Append(std::make_shared<const RawAnswer>(item, 1), 0);
    return s;
}

// "t" for a value at t, "(t)" for a placeholder without a bound.
std::string Shape(const RawSeries& s) {
    std::string text;
    for (std::size_t k = 0; k < s.Count(); ++k) {
        const std::string t = std::to_string(s.Tick(k));
        text += (text.empty() ? "" : " ") + ((s.Quality(k) & opc::kNoBound) ? "(" + t + ")" : t);
        EXPECT_EQ(V_I4(&s.Value(k)), s.Tick(k)) << "each value stays with its time";
    }
    return text;
}

// Left is [0, 25] and right [25, 50], both with bounding values.
TEST(JoinSpansTest, TheSeamsBoundingValuesAreNeitherDoubledNorLost) {
    // the value of 20 bounds both halves at 25; the value of 30 ends the left half
    RawSeries joined = JoinSpans(SeriesOf({{0, kGood}, {10, kGood}, {20, kGood}, {30, kGood}}),
                                 SeriesOf({{20, kGood}, {30, kGood}, {50, kPlaceholder}}));
    EXPECT_EQ(Shape(joined), "0 10 20 30 (50)");
    EXPECT_EQ(joined.error, S_OK);
    EXPECT_FALSE(joined.cutShort);

    // nothing at or before the seam: the right half's placeholder is dropped
    joined = JoinSpans(SeriesOf({{0, kPlaceholder}, {30, kGood}}), SeriesOf({{25, kPlaceholder}, {30, kGood}, {40, kGood}}));
    EXPECT_EQ(Shape(joined), "(0) 30 40");

    // one value long before the interval bounds both halves
    joined = JoinSpans(SeriesOf({{-5, kGood}, {25, kPlaceholder}}), SeriesOf({{-5, kGood}, {50, kPlaceholder}}));
    EXPECT_EQ(Shape(joined), "-5 (50)");

    // no value at all
    joined = JoinSpans(SeriesOf({{0, kPlaceholder}, {25, kPlaceholder}}, opc::kNoDataResult),
                       SeriesOf({{25, kPlaceholder}, {50, kPlaceholder}}, opc::kNoDataResult));
    EXPECT_EQ(Shape(joined), "(0)");
    EXPECT_EQ(joined.error, opc::kNoDataResult);
}

TEST(JoinSpansTest, AnUnknownPartEndsTheWhole) {
    RawSeries left = SeriesOf({{0, kGood}, {10, kGood}});
    left.cutShort = true;
    RawSeries joined = JoinSpans(std::move(left), SeriesOf({{20, kGood}, {30, kGood}}));
    EXPECT_EQ(Shape(joined), "0 10") << "after a cut nothing is known, so the right half cannot be joined";
    EXPECT_TRUE(joined.cutShort);

    joined = JoinSpans(SeriesOf({{0, kGood}, {10, kGood}}), SeriesOf({}, E_FAIL));
    EXPECT_EQ(Shape(joined), "0 10");
    EXPECT_TRUE(joined.cutShort) << "the right half failed: its rows must not hold the value of 10";
    EXPECT_EQ(joined.error, E_FAIL);

    joined = JoinSpans(SeriesOf({}, E_FAIL), SeriesOf({{20, kGood}}));
    EXPECT_EQ(Shape(joined), "");
    EXPECT_EQ(joined.error, E_FAIL);
}

// A server that answers every ReadRaw of one item with OPC_S_MOREDATA and two values: the
// start asked and `step` after it.
class EndlessReader : public test::FakeComObject<IOPCHDA_SyncRead> {
public:
    explicit EndlessReader(std::int64_t step) : FakeComObject(IID_IOPCHDA_SyncRead), step_(step) {}
    int calls = 0;

    HRESULT STDMETHODCALLTYPE ReadRaw(OPCHDA_TIME* start, OPCHDA_TIME*, DWORD, BOOL, DWORD count, OPCHANDLE*,
                                      OPCHDA_ITEM** items, HRESULT** errors) override {
        ++calls;
        const std::int64_t from = TicksOf(start->ftTime);
        OPCHDA_ITEM* item = TaskArray<OPCHDA_ITEM>(count);
        *item = OPCHDA_ITEM{};
        item->dwCount = 2;
        item->pftTimeStamps = TaskArray<FILETIME>(2);
        item->pdwQualities = TaskArray<DWORD>(2);
        item->pvDataValues = TaskArray<VARIANT>(2);
        for (DWORD k = 0; k < 2; ++k) {
            item->pftTimeStamps[k] = FileTimeOfTicks(from + k * step_);
            item->pdwQualities[k] = kGood;
            VariantInit(&item->pvDataValues[k]);
        }
        *items = item;
        *errors = TaskArray<HRESULT>(count);
        (*errors)[0] = opc::kMoreData;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE ReadProcessed(OPCHDA_TIME*, OPCHDA_TIME*, FILETIME, DWORD, OPCHANDLE*, DWORD*,
                                            OPCHDA_ITEM**, HRESULT**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadAtTime(DWORD, FILETIME*, DWORD, OPCHANDLE*, OPCHDA_ITEM**, HRESULT**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ReadModified(OPCHDA_TIME*, OPCHDA_TIME*, DWORD, DWORD, OPCHANDLE*, OPCHDA_MODIFIEDITEM**,
                                           HRESULT**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadAttribute(OPCHDA_TIME*, OPCHDA_TIME*, OPCHANDLE, DWORD, DWORD*, OPCHDA_ATTRIBUTE**,
                                            HRESULT**) override { return E_NOTIMPL; }

private:
    std::int64_t step_;
};

// A server that promises more for ever ends the read once its values pass the end asked.
TEST(IntervalReaderTest, MoreDataBeyondTheEndAskedEndsTheRead) {
    auto* reader = new EndlessReader(10'000'000); // one value a second
    ReadRequest request;
    request.start.SetTime(FileTimeOfTicks(0));
    request.end.SetTime(FileTimeOfTicks(50'000'000)); // five seconds
    const std::vector<RawSeries> series = IntervalReader(*reader).Read(request, {1});
    ASSERT_EQ(series.size(), 1u);
    EXPECT_EQ(series[0].error, S_OK);
    EXPECT_FALSE(series[0].cutShort);
    EXPECT_EQ(series[0].LastTick(), 50'000'000);
    EXPECT_EQ(reader->calls, 5) << "each call brings one new second up to the end, then reading stops";
    reader->Release();
}

} // namespace
} // namespace kesti
