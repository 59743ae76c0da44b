#pragma once
// The server handles of a request's tags: obtained once per tag and connection, and the
// items a read or write sends, each with the request entries it serves.
#include <vector>

#include "model/TagEntry.h"
#include "opchda/OpcHdaProxy.h"

namespace kesti {

// One item of a read or write: its server handle and the request entries it serves: the
// tags of the item (usually one), or the requested elements of an array item.
struct ServerItem {
    OPCHANDLE handle;
    std::vector<const TagEntry*> entries;
};

// Server handles for every tag of the request that has none yet; tags of one item id share
// its handle. Throws ComError when the server's call fails as a whole; tags whose items the
// server refuses are remembered as failed and never asked for again.
void UpdateServerHandles(OpcHdaProxy& proxy, const std::vector<TagEntry>& request);

// The items of the request that have a handle, in the order of their first entry; the
// entries of one handle are one item (array elements apart from whole tags).
std::vector<ServerItem> CollectServerItems(const std::vector<TagEntry>& request);

} // namespace kesti
