#pragma once
// The items a read or write of a request sends: the server handle of each (from the
// connection's item cache, which asks the server once per item id and connection) and the
// request entries it serves.
#include <vector>

#include "model/TagEntry.h"
#include "opchda/ServerSession.h"

namespace kesti {

// One item of a read or write: its server handle and the request entries it serves: the
// tags of the item (usually one), or the requested elements of an array item.
struct ServerItem {
    OPCHANDLE handle;
    std::vector<const TagEntry*> entries;
};

struct RequestItems {
    // In the order of their first entry; the entries of one handle are one item (array
    // elements apart from whole tags of the same item id).
    std::vector<ServerItem> items;
    // The entries whose item the server refused a handle for.
    std::vector<const TagEntry*> refused;
};

// The items of the request. Throws ComError when the server cannot be reached or its
// GetItemHandles fails as a whole; an item it refuses is not asked for again until the
// server is connected anew.
RequestItems ResolveItems(ServerSession& session, const std::vector<TagEntry>& request);

} // namespace kesti
