#pragma once
// The frames that keep every exception inside the exports.
#include <exception>
#include <new>
#include <string>

#include "base/Exception.h"
#include "interface/OpcHDAKesti.h"

namespace kesti {

// Writes the export's "Operation failed" Error record; never throws.
void LogOperationFailed(const char* exportName, const std::string& reason) noexcept;
void LogOperationFailedUnknown(const char* exportName) noexcept;

// The exports that reach the server: every failure becomes one Error record and result 1.
template <class Work>
KestiResult LoggingGuard(const char* exportName, Work&& work) noexcept {
    try {
        return work();
    } catch (const Exception& e) {
        LogOperationFailed(exportName, e.Message());
    } catch (const std::exception& e) {
        LogOperationFailed(exportName, e.what());
    } catch (...) {
        LogOperationFailedUnknown(exportName);
    }
    return ResultFailed;
}

// The exports whose work only fails on exhausted memory or a broken clock: result 1,
// without a log record.
template <class Work>
KestiResult SilentGuard(Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return ResultFailed;
    }
}

} // namespace kesti
