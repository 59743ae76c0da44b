#pragma once
// The one rule for a failure inside a node's work. A lost server ends the work, so that the
// node connects again and does it once more (Node's RunWithReconnect); any other failure of a
// step is told by the caller's record and the work goes on without the step's result (one
// node's cells stay missing, one row is lost).
#include "base/ComError.h"
#include "opchda/OpcHdaProxy.h"

namespace kesti {

// Runs `step`; a Failure (ComError, or any Exception) that is not a lost connection goes to
// `tell`. True when the step succeeded.
template <class Failure, class Step, class Tell>
bool StepOrTell(Step&& step, Tell&& tell) {
    try {
        step();
        return true;
    } catch (const Failure& failure) {
        if (IsLostConnection(failure)) throw;
        tell(failure);
        return false;
    }
}

} // namespace kesti
