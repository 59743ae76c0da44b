#pragma once
// Writing the host's rows of a node's request to the server's history.
#include <vector>

#include "base/TimeConversion.h"
#include "model/TagEntry.h"
#include "model/ValueVector.h"
#include "opchda/ServerSession.h"

namespace kesti {

// Writes row r at start + r x step, one InsertReplace per row that has a value to send, every
// value of good quality: a missing cell is not sent, an array only with every element. The
// update times move for the items the server stored. Throws when the handles cannot be had
// or the server cannot be written to at all; a row the server refuses is logged and the next
// row goes on.
void WriteRows(ServerSession& session, const std::vector<TagEntry>& request, const TimePoint& start, const Duration& step,
               const std::vector<const ValueVector*>& rows);

} // namespace kesti
