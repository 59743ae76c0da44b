#include "model/ItemHandles.h"

#include <map>
#include <utility>
#include <string>

#include "model/KestiTag.h"

namespace kesti {

void UpdateServerHandles(OpcHdaProxy& proxy, const std::vector<TagEntry>& request) {
    std::vector<Tag*> tags;
    std::vector<std::string> itemIds;
    for (const TagEntry& entry : request) {
        if (entry.tag->HasServerHandle() || entry.tag->HandleFailed()) continue;
        tags.push_back(entry.tag);
        itemIds.push_back(entry.tag->GetItemId());
    }
    const std::vector<ItemHandleResult> answers = proxy.GetItemHandles(itemIds); // one per item id
    for (std::size_t i = 0; i < answers.size(); ++i) {
        if (FAILED(answers[i].error))
            tags[i]->MarkHandleFailed(); // whatever handle the server put there is never used
        else
            tags[i]->SetServerHandle(answers[i].handle);
    }
}

std::vector<ServerItem> CollectServerItems(const std::vector<TagEntry>& request) {
    std::vector<ServerItem> items;
    // An item's index by handle, apart for array elements and whole tags of the same item.
    std::map<std::pair<OPCHANDLE, bool>, std::size_t> itemOf;
    for (const TagEntry& entry : request) {
        const Tag* tag = entry.tag;
        if (!tag->HasServerHandle()) continue;
        const auto [found, added] = itemOf.emplace(std::make_pair(tag->GetServerHandle(), tag->IsArrayElement()), items.size());
        if (added) items.push_back(ServerItem{tag->GetServerHandle(), {&entry}});
        else items[found->second].entries.push_back(&entry);
    }
    return items;
}

} // namespace kesti
