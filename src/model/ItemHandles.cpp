#include "model/ItemHandles.h"

#include <algorithm>
#include <string>

#include "model/KestiTag.h"

namespace kesti {

void UpdateServerHandles(OpcHdaProxy& proxy, const std::vector<TagEntry>& request) {
    std::vector<Tag*> tags;
    std::vector<std::string> itemIds;
    for (const TagEntry& entry : request) {
        Tag* tag = entry.tag;
        if (tag->HasServerHandle() || tag->HandleFailed()) continue;
        std::string itemId = tag->GetItemId();
        if (std::find(itemIds.begin(), itemIds.end(), itemId) != itemIds.end()) continue; // elements, repeats
        tags.push_back(tag);
        itemIds.push_back(std::move(itemId));
    }
    const std::vector<ItemHandleResult> answers = proxy.GetItemHandles(itemIds);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        if (FAILED(answers[i].error))
            tags[i]->MarkHandleFailed(); // whatever handle the server put there is never used
        else
            tags[i]->SetServerHandle(answers[i].handle);
    }
}

std::vector<ServerItem> CollectServerItems(const std::vector<TagEntry>& request) {
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
