#pragma once
// Reading a node's request into the host's table: handles, the raw read in the shape the
// connection chooses, and sample and hold of the raw values into the rows as they arrive.
#include <vector>

#include "model/TagEntry.h"
#include "model/ValueTable.h"
#include "opchda/ServerSession.h"

namespace kesti {

// Fills the request's cells of the table: each row gets the newest value at or before its
// time, missing where that value's quality is bad or uncertain. A failure of this node's
// handles or raw read is logged and leaves its cells missing; a server that cannot be read
// at all throws.
void ReadIntoTable(ServerSession& session, const std::vector<TagEntry>& request, const ReadWindow& window,
                   ValueTable& table);

} // namespace kesti
