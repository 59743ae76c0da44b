#include "opchda/ServerSession.h"

#include <limits>
#include <set>

#include <boost/format.hpp>

#include "base/Log.h"
#include "base/ResultText.h"
#include "base/TextConversion.h"
#include "base/TimeFormat.h"
#include "discovery/ServerActivation.h"
#include "opchda/Browsing.h"
#include "opchda/OpcHdaConstants.h"
#include "opchda/OpcHdaText.h"

namespace kesti {
namespace {

std::string DumpRequestTimes(const ReadRequest& r) {
    return DumpOpcHdaTime("StartTime", *r.start) + "\n" + DumpOpcHdaTime("EndTime", *r.end);
}

} // namespace

void ServerSession::Configure(std::shared_ptr<DcomIdentity> identity, OPCURL address) {
    identity_ = std::move(identity);
    address_ = std::move(address);
    configured_ = true;
}

void ServerSession::Connect() {
    if (!configured_) throw Exception("The proxy has no server address.");
    if (server_) return;
    LogMessage(LogInformation, "Open OPC Server.");
    server_ = ActivateOnHost<IOPCHDA_Server>(address_.ClassId(), address_.Host(), identity_.get());
    // Asked once while the server surely runs: later a dead server could not be told from
    // one that lacks the interface.
    reader_ = OptionalInterface<IOPCHDA_SyncRead>();
    updater_ = OptionalInterface<IOPCHDA_SyncUpdate>();
    LogMessage(LogInformation, (boost::format("Connected to server %1% (%2%).") % address_.Host() % address_.ProgId()).str());
}

void ServerSession::Reconnect(HRESULT lost) {
    Forget();
    Connect();
    LogMessage(LogWarning, (boost::format("The connection to the server was lost (%1%). Connected again to server "
                                          "%2%; the call is made again.") %
                            HResultText(lost) % address_.Host()).str());
}

void ServerSession::Release() noexcept {
    try {
        if (server_ && !serverHandles_.empty()) {
            platform::UniqueCoTaskMemArray<HRESULT> errors;
            const DWORD count = static_cast<DWORD>(serverHandles_.size());
            const HRESULT result = server_->ReleaseItemHandles(count, serverHandles_.data(), errors.Put(count));
            if (FAILED(result))
                LogMessage(LogError, ComError(result, "IOPCHDA_Server::ReleaseItemHandles").Message());
            else
                LogPartialFailure("IOPCHDA_Server::ReleaseItemHandles", result, errors.Get(), count, IndexLabel);
        }
    } catch (...) {
        // Closing goes on whatever the log could not take.
    }
    Forget();
}

void ServerSession::Forget() noexcept {
    // The handles died with the server's process: they are dropped, never released.
    serverHandles_.clear();
    answeredItems_.clear();
    valueLimitAsked_ = false;
    readPlan_.serverMaxValues = 0;
    updater_.Reset();
    reader_.Reset();
    server_.Reset();
}

std::vector<BrowsedLeaf> ServerSession::BrowseTags(const std::string& itemId, const std::string& browsePath) {
    Connect();
    const platform::ComPtr<IOPCHDA_Browser> browser =
        CreateBrowser(*server_.Get(), identity_.get(), "IOPCHDA_Server::CreateBrowse failed: %1%");
    OPCHDA_BROWSETYPE listing = OPCHDA_FLAT;
    if (!(itemId == "OPC" && browsePath.empty())) {
        const std::wstring wide = WideFromUtf8(itemId);
        ThrowIfFailed(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, wide.c_str()),
                      "IOPCHDA_Browser::ChangeBrowsePosition");
        listing = OPCHDA_LEAF;
    }
    HRESULT listed = S_OK;
    const platform::ComPtr<IEnumString> names = ListNames(*browser.Get(), listing, identity_.get(), listed);
    ThrowIfFailed(listed, "IOPCHDA_Browser::GetEnum");
    std::vector<BrowsedLeaf> leaves;
    if (!names) return leaves; // an empty list
    // Only time bounds it: the list's own limit of names, with its record, counts the names.
    BrowseBudget budget(std::numeric_limits<std::size_t>::max(), readPlan_.timeLimit);
    for (BrowseRecord& record : ReadBrowseRecords(*browser.Get(), *names.Get(), budget))
        leaves.emplace_back(std::move(record.browseName), std::move(record.itemId));
    return leaves;
}

std::string ServerSession::DisplayName() const {
    if (!address_.Description().empty()) return address_.Description();
    const std::string& path = address_.Path();
    const auto slash = path.find('/');
    return slash == std::string::npos ? path : path.substr(0, slash);
}

std::vector<ItemHandleResult> ServerSession::GetItemHandles(const std::vector<std::string>& itemIds) {
    std::vector<std::string> unasked;
    std::set<std::string> seen;
    for (const std::string& id : itemIds)
        if (!answeredItems_.count(id) && seen.insert(id).second) unasked.push_back(id);
    const std::vector<ItemHandleResult> fresh = AskItemHandles(unasked);
    for (std::size_t i = 0; i < fresh.size(); ++i) answeredItems_[unasked[i]] = fresh[i];
    std::vector<ItemHandleResult> answers;
    answers.reserve(itemIds.size());
    for (const std::string& id : itemIds) answers.push_back(answeredItems_.at(id));
    return answers;
}

std::vector<ItemHandleResult> ServerSession::AskItemHandles(const std::vector<std::string>& itemIds) {
    if (itemIds.empty()) return {};
    Connect();
    const DWORD count = static_cast<DWORD>(itemIds.size());
    std::vector<platform::UniqueBstr> ids;
    std::vector<LPWSTR> idPointers;
    std::vector<OPCHANDLE> clientHandles;
    for (DWORD i = 0; i < count; ++i) {
        ids.emplace_back(WideFromUtf8(itemIds[i]).c_str());
        idPointers.push_back(ids.back().Get());
        clientHandles.push_back(static_cast<OPCHANDLE>(serverHandles_.size() + i));
    }
    platform::UniqueCoTaskMemArray<OPCHANDLE> handles;
    platform::UniqueCoTaskMemArray<HRESULT> errors;
    const HRESULT result =
        server_->GetItemHandles(count, idPointers.data(), clientHandles.data(), handles.Put(count), errors.Put(count));
    ThrowIfFailed(NullAsFailure(result, handles.Get()), "IOPCHDA_Server::GetItemHandles");
    std::vector<ItemHandleResult> answers(count);
    std::set<OPCHANDLE> granted(serverHandles_.begin(), serverHandles_.end());
    RecordedList repeated;
    for (DWORD i = 0; i < count; ++i) {
        // Without an error array no item can be told apart; the handles are taken as given.
        answers[i].error = errors ? errors[i] : S_OK;
        answers[i].handle = handles[i];
        if (FAILED(answers[i].error)) continue;
        // A handle already given to another item would read or write that item's values.
        if (!granted.insert(handles[i]).second) {
            answers[i].error = opc::kInvalidHandle;
            repeated.Add((boost::format("%1% (handle %2%)") % RecordedName(itemIds[i]) % handles[i]).str());
            continue;
        }
        serverHandles_.push_back(handles[i]);
    }
    LogPartialFailure("IOPCHDA_Server::GetItemHandles", result, errors.Get(), count,
                      [&](std::size_t i) { return (boost::format("%1% (%2%)") % i % itemIds[i]).str(); });
    if (repeated.Count() > 0)
        LogMessage(LogWarning, "IOPCHDA_Server::GetItemHandles gave these items a handle it had given to another item; "
                               "they are not read or written:" + repeated.Text("items"));
    return answers;
}

ReadRequest ServerSession::PrepareRead(const ReadWindow& w) const {
    ReadRequest r;
    if (w.IsCurrent()) {
        r.start.SetText(L"NOW");
        r.end.SetText(useNullTimeValues_ ? L"" : L"NOW+1S");
        r.numValues = 1;
        LogMessage(LogInformation, "Reading Current Data");
        return r;
    }
    if (static_cast<std::int32_t>(w.step.total_seconds()) != 0) {
        const TimePoint end = w.start + w.step * static_cast<int>(w.rows - 1);
        const TimePoint first = end == w.start ? w.start - w.step : w.start;
        r.start.SetTime(FileTimeFromTimePoint(first));
        r.end.SetTime(FileTimeFromTimePoint(end));
        LogMessage(LogInformation, (boost::format("Reading Historical Data, Start: %1%\tStop: %2%\tTimeSpan: %3%\tRows: %4%") %
                                    TimePointLogText(first) % TimePointLogText(end) % DurationLogText(w.step) % w.rows).str());
        return r;
    }
    if (useNullTimeValues_) {
        r.start.SetText(L"");
        r.numValues = 1;
        r.bounds = FALSE;
    } else {
        r.start.SetTime(FileTimeFromTimePoint(w.start));
    }
    r.end.SetTime(FileTimeFromTimePoint(w.start));
    LogMessage(LogInformation, (boost::format("Reading Historical Data, Time: %1%\tTimeSpan: %2%\tRows: %3%") %
                                TimePointLogText(w.start) % DurationLogText(w.step) % w.rows).str());
    return r;
}

void ServerSession::AskValueLimit() {
    if (valueLimitAsked_) return;
    OPCHDA_SERVERSTATUS status{};
    platform::UniqueCoTaskMem<FILETIME> now, started;
    WORD major = 0, minor = 0, build = 0;
    DWORD maxValues = 0;
    platform::UniqueCoTaskMemString statusText, vendor;
    const HRESULT result = server_->GetHistorianStatus(&status, now.Put(), started.Put(), &major, &minor, &build,
                                                       &maxValues, statusText.Put(), vendor.Put());
    if (FAILED(result)) return; // asked again at the next read; meanwhile a refusal of too many values tells
    readPlan_.serverMaxValues = maxValues; // 0: the server sets no maximum
    valueLimitAsked_ = true;
}

void ServerSession::Read(const ReadWindow& window, ReadRequest& r, const std::vector<OPCHANDLE>& handles,
                         RawValueSink& sink) {
    if (handles.empty()) return;
    Connect();
    if (!reader_) throw Exception("Could not read data.");
    if (!window.IsCurrent()) AskValueLimit();
    const bool debug = GetLogLevel() >= LogDebug;
    if (debug)
        LogMessage(LogDebug, "Calling IOPCHDA_SyncRead::ReadRaw, input parameters:\n" + DumpRequestTimes(r) +
                                 "\nNumValues: " + std::to_string(r.numValues) + "\nIncludeBounds: " +
                                 (r.bounds ? "true" : "false") + "\nNumItems: " + std::to_string(handles.size()));
    WindowReader(*reader_.Get(), sink, readPlan_).Read(window, r, handles);
    if (debug) LogMessage(LogDebug, "IOPCHDA_SyncRead::ReadRaw succeeded, output parameters:\n" + DumpRequestTimes(r));
}

void ServerSession::RequireWriting() {
    Connect();
    if (!updater_) throw Exception("The server offers no IOPCHDA_SyncUpdate; nothing was written.");
}

ItemResults ServerSession::InsertReplace(const std::vector<OPCHANDLE>& handles, const FILETIME& time,
                                         std::vector<platform::UniqueVariant>& values) {
    RequireWriting();
    return InsertReplaceAt(*updater_.Get(), handles, time, values);
}

} // namespace kesti
