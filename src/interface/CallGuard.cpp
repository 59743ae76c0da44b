#include "interface/CallGuard.h"

#include <boost/format.hpp>

#include "base/Log.h"

namespace kesti {

void LogOperationFailed(const char* exportName, const std::string& reason) noexcept {
    try {
        LogMessage(LogError, (boost::format("%1%: Operation failed (%2%).") % exportName % reason).str());
    } catch (...) {
        // Nothing is left to report with.
    }
}

void LogOperationFailedUnknown(const char* exportName) noexcept {
    try {
        LogMessage(LogError, (boost::format("%1%: Operation failed with unknown error.") % exportName).str());
    } catch (...) {
    }
}

} // namespace kesti
