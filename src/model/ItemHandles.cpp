#include "model/ItemHandles.h"

#include <map>
#include <string>
#include <utility>

#include "base/ComError.h"
#include "base/Log.h"
#include "model/Tag.h"
#include "opchda/OpcHdaProxy.h"

namespace kesti {

RequestItems ResolveItems(ServerSession& session, const std::vector<TagEntry>& request) {
    std::vector<std::string> itemIds;
    itemIds.reserve(request.size());
    for (const TagEntry& entry : request) itemIds.push_back(entry.tag->ItemId());
    session.Connect(); // a server that cannot be activated is not a failure of its handles
    std::vector<ItemHandleResult> answers; // one per item id
    try {
        answers = session.GetItemHandles(itemIds);
    } catch (const ComError& e) {
        if (!IsLostConnection(e.Result())) // a lost server is connected again, and asked again
            LogMessage(LogError, "Could not retrieve item handles. GetItemHandles for UpdateServerHandles in OpcHdaProxy failed.");
        throw;
    }

    RequestItems resolved;
    std::map<std::pair<OPCHANDLE, bool>, std::size_t> itemOf; // by handle, array elements apart
    for (std::size_t i = 0; i < request.size(); ++i) {
        const TagEntry& entry = request[i];
        if (FAILED(answers[i].error)) { // whatever handle the server put there is never used
            resolved.refused.push_back(&entry);
            continue;
        }
        const auto [found, added] =
            itemOf.emplace(std::make_pair(answers[i].handle, entry.tag->IsArrayElement()), resolved.items.size());
        if (added) resolved.items.push_back(ServerItem{answers[i].handle, {&entry}});
        else resolved.items[found->second].entries.push_back(&entry);
    }
    return resolved;
}

} // namespace kesti
