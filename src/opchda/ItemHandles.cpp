// Item handles of the OPC HDA proxy: obtained once per tag and connection.
#include <algorithm>

#include <boost/format.hpp>

#include "config/Exception.h"
#include "config/Log.h"
#include "model/KestiTag.h"
#include "opchda/OpcHdaProxy.h"
#include "opchda/ResultText.h"
#include "opchda/TextConversion.h"

namespace kesti {

void OpcHdaProxy::UpdateServerHandles(const std::vector<TagEntry>& request) {
    std::vector<Tag*> tags;
    std::vector<std::string> itemIds;
    for (const TagEntry& entry : request) {
        Tag* tag = entry.tag;
        if (tag->HasServerHandle() || tag->HandleFailed()) continue;
        const std::string itemId = tag->GetItemId();
        if (std::find(itemIds.begin(), itemIds.end(), itemId) != itemIds.end()) continue; // elements, repeats
        tags.push_back(tag);
        itemIds.push_back(itemId);
    }
    if (tags.empty()) return;

    const DWORD count = static_cast<DWORD>(tags.size());
    std::vector<platform::UniqueBstr> ids;
    std::vector<LPWSTR> idPointers;
    std::vector<OPCHANDLE> clientHandles;
    for (DWORD i = 0; i < count; ++i) {
        ids.emplace_back(WideFromUtf8(itemIds[i]).c_str());
        idPointers.push_back(ids.back().Get());
        clientHandles.push_back(static_cast<OPCHANDLE>(serverHandles_.size() + i));
    }
    platform::UniqueCoTaskMem<OPCHANDLE> handles;
    platform::UniqueCoTaskMem<HRESULT> errors;
    const HRESULT result =
        server_->GetItemHandles(count, idPointers.data(), clientHandles.data(), handles.Put(), errors.Put());
    if (FAILED(result) || !handles) {
        LogMessage(LogError,
                   "Could not retrieve item handles. GetItemHandles for UpdateServerHandles in OpcHdaProxy failed.");
        throw Exception((boost::format("IOPCHDA_Server::GetItemHandles failed: %1%") % HResultText(FAILED(result) ? result : E_POINTER)).str());
    }
    std::string warning = "IOPCHDA_Server::GetItemHandles partially failed:";
    bool anyFailed = false;
    for (DWORD i = 0; i < count; ++i) {
        // Without an error array no item can be told apart; the handles are taken as given.
        const HRESULT itemResult = errors ? errors[i] : S_OK;
        if (FAILED(itemResult)) {
            anyFailed = true;
            warning += (boost::format("\nItem %1% (%2%) failed: %3%") % i % itemIds[i] % HResultText(itemResult)).str();
            tags[i]->MarkHandleFailed(); // whatever handle the server put there is never used
            continue;
        }
        tags[i]->SetServerHandle(handles[i]);
        serverHandles_.push_back(handles[i]);
    }
    if (result == S_FALSE || anyFailed) LogMessage(LogWarning, warning);
}

std::vector<ServerItem> OpcHdaProxy::CollectServerItems(const std::vector<TagEntry>& request) {
    std::vector<ServerItem> items;
    for (const TagEntry& entry : request) {
        const Tag* tag = entry.tag;
        if (!tag->HasServerHandle()) continue;
        if (tag->IsArrayElement() && !items.empty() && items.back().handle == tag->GetServerHandle() &&
            items.back().entries.front()->tag->IsArrayElement()) {
            items.back().entries.push_back(&entry); // all elements of an array read through one item
            continue;
        }
        items.push_back(ServerItem{tag->GetServerHandle(), {&entry}});
    }
    return items;
}

} // namespace kesti
