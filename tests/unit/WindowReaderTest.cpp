// What reaches the sampler from servers that answer carelessly: a promise of more values that
// never ends, values out of time order, arrays missing behind a count.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FakeCom.h"
#include "opchda/OpcHdaConstants.h"
#include "opchda/WindowReader.h"

namespace kesti {
namespace {

constexpr DWORD kGood = opc::kQualityGood | opc::kRaw;
constexpr std::int64_t kSecond = 10'000'000;

template <class T>
T* TaskArray(std::size_t n) {
    return static_cast<T*>(CoTaskMemAlloc(sizeof(T) * (n > 0 ? n : 1)));
}

// One item's answer: its values' times (each value is its own time as VT_I4) and its code.
struct ItemAnswer {
    std::vector<std::int64_t> times;
    HRESULT error = S_OK;
    bool arraysMissing = false;
};

// A server whose every ReadRaw answers the one item through `answer` (given the start asked).
class ScriptedReader : public test::FakeComObject<IOPCHDA_SyncRead> {
public:
    explicit ScriptedReader(std::function<ItemAnswer(std::int64_t start)> answer)
        : FakeComObject(IID_IOPCHDA_SyncRead), answer_(std::move(answer)) {}
    int calls = 0;

    HRESULT STDMETHODCALLTYPE ReadRaw(OPCHDA_TIME* start, OPCHDA_TIME*, DWORD, BOOL, DWORD count, OPCHANDLE*,
                                      OPCHDA_ITEM** items, HRESULT** errors) override {
        ++calls;
        const ItemAnswer a = answer_(TicksOf(start->ftTime));
        OPCHDA_ITEM* item = TaskArray<OPCHDA_ITEM>(count);
        *item = OPCHDA_ITEM{};
        const std::size_t n = a.times.size();
        item->dwCount = static_cast<DWORD>(n);
        if (!a.arraysMissing) {
            item->pftTimeStamps = TaskArray<FILETIME>(n);
            item->pdwQualities = TaskArray<DWORD>(n);
            item->pvDataValues = TaskArray<VARIANT>(n);
            for (std::size_t k = 0; k < n; ++k) {
                item->pftTimeStamps[k] = FileTimeOfTicks(a.times[k]);
                item->pdwQualities[k] = kGood;
                VariantInit(&item->pvDataValues[k]);
                V_VT(&item->pvDataValues[k]) = VT_I4;
                V_I4(&item->pvDataValues[k]) = static_cast<LONG>(a.times[k] / kSecond);
            }
        }
        *items = item;
        *errors = TaskArray<HRESULT>(count);
        (*errors)[0] = a.error;
        return a.error == S_OK ? S_OK : S_FALSE;
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
    std::function<ItemAnswer(std::int64_t)> answer_;
};

// The values taken, as "t=v" in seconds, and how the item ended.
class RecordingSink : public RawValueSink {
public:
    std::string taken;
    ItemOutcome outcome;
    int ends = 0;

    void Take(std::size_t, std::int64_t tick, DWORD, const VARIANT& value) override {
        taken += (taken.empty() ? "" : " ") + std::to_string(tick / kSecond) + "=" + std::to_string(V_I4(&value));
    }
    void KnownThrough(std::size_t, std::int64_t) override {}
    void AnswerEnds() override {}
    void End(std::size_t, const ItemOutcome& o) override {
        outcome = o;
        ++ends;
    }
};

// Reads rows at seconds 0 to `last` from the reader as the plan says (and learns into it).
RecordingSink ReadSeconds(ScriptedReader& reader, ReadPlan& plan, int last) {
    RecordingSink sink;
    ReadRequest request;
    request.start.SetTime(FileTimeOfTicks(0));
    request.end.SetTime(FileTimeOfTicks(last * kSecond));
    const ReadWindow window{TimePointFromFileTime(FileTimeOfTicks(0)), boost::posix_time::seconds(1),
                            static_cast<std::size_t>(last + 1)};
    WindowReader(reader, sink, plan).Read(window, request, {1});
    return sink;
}

RecordingSink ReadFiveSeconds(ScriptedReader& reader, ReadShape shape = ReadShape::Forward) {
    ReadPlan plan;
    plan.shape = shape;
    return ReadSeconds(reader, plan, 5);
}

TEST(WindowReaderTest, APromiseOfMoreValuesEndsWhenItBringsNothingNewOrPassesTheEnd) {
    // Each answer: the second asked and the next one, more promised for ever.
    auto* advancing = new ScriptedReader([](std::int64_t start) {
        return ItemAnswer{{start, start + kSecond}, opc::kMoreData};
    });
    RecordingSink sink = ReadFiveSeconds(*advancing);
    // The value a continuation starts at comes again; the value at the end asked is read as a
    // value, and the one after it bounds the span.
    EXPECT_EQ(sink.taken, "0=0 1=1 1=1 2=2 2=2 3=3 3=3 4=4 4=4 5=5 5=5 6=6");
    EXPECT_EQ(sink.ends, 1);
    EXPECT_FALSE(sink.outcome.cutShort) << "the span is known to its end, whatever the server promises";
    EXPECT_EQ(advancing->calls, 6);
    advancing->Release();

    // Each answer: the same two seconds, more promised for ever.
    auto* stuck = new ScriptedReader([](std::int64_t) { return ItemAnswer{{0, kSecond}, opc::kMoreData}; });
    sink = ReadFiveSeconds(*stuck);
    EXPECT_EQ(sink.taken, "0=0 1=1 1=1");
    EXPECT_TRUE(sink.outcome.cutShort);
    EXPECT_EQ(sink.outcome.knownUntil, kSecond) << "nothing is known after the newest value";
    EXPECT_EQ(sink.outcome.result, opc::kMoreData);
    EXPECT_EQ(stuck->calls, 2);
    stuck->Release();
}

// One new value 100 ns after the last, more promised for ever: the read ends at its time limit.
TEST(WindowReaderTest, AServerThatCreepsOnForEverIsCutShortInTime) {
    auto* creeping = new ScriptedReader([](std::int64_t start) { return ItemAnswer{{start, start + 1}, opc::kMoreData}; });
    ReadPlan plan;
    plan.shape = ReadShape::Forward;
    plan.continuationTime = std::chrono::milliseconds(50);
    const RecordingSink sink = ReadSeconds(*creeping, plan, 5);
    EXPECT_TRUE(sink.outcome.cutShort);
    EXPECT_EQ(sink.outcome.result, opc::kMoreData);
    EXPECT_GT(creeping->calls, 2);
    EXPECT_LT(creeping->calls, 100000) << "stopped by time, long before the limit of calls";
    creeping->Release();
}

// Every call slow: a read by rows stops at the read's time limit, and the server is not taken
// for one that cannot read backwards.
TEST(WindowReaderTest, ASlowServerIsAskedNoLongerThanTheTimeLimit) {
    auto* slow = new ScriptedReader([](std::int64_t start) {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        return ItemAnswer{{start}, S_OK};
    });
    ReadPlan plan;
    plan.shape = ReadShape::Rows;
    plan.timeLimit = std::chrono::milliseconds(100);
    const RecordingSink sink = ReadSeconds(*slow, plan, 20);
    EXPECT_TRUE(sink.outcome.cutShort);
    EXPECT_EQ(sink.outcome.result, kTimeLimitPassed);
    EXPECT_GE(slow->calls, 2);
    EXPECT_LT(slow->calls, 21);
    EXPECT_EQ(sink.outcome.knownUntil, (slow->calls - 1) * kSecond) << "known up to the last row read";
    EXPECT_FALSE(plan.backwardRefused);
    slow->Release();
}

TEST(WindowReaderTest, ValuesOutOfOrderArePutInTimeOrderAndMissingArraysAreNeverRead) {
    auto* shuffled = new ScriptedReader([](std::int64_t) {
        return ItemAnswer{{3 * kSecond, 0, 2 * kSecond, 2 * kSecond, kSecond}, S_OK};
    });
    RecordingSink sink = ReadFiveSeconds(*shuffled, ReadShape::Whole);
    EXPECT_EQ(sink.taken, "0=0 1=1 2=2 2=2 3=3");
    EXPECT_TRUE(sink.outcome.disordered);
    EXPECT_FALSE(sink.outcome.cutShort);
    shuffled->Release();

    auto* careless = new ScriptedReader([](std::int64_t) {
        ItemAnswer answer{{0, kSecond}, S_OK};
        answer.arraysMissing = true;
        return answer;
    });
    sink = ReadFiveSeconds(*careless);
    EXPECT_EQ(sink.taken, "");
    EXPECT_TRUE(sink.outcome.cutShort);
    EXPECT_EQ(sink.outcome.result, E_POINTER);
    careless->Release();
}

} // namespace
} // namespace kesti
