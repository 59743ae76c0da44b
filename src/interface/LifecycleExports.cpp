// Initialisation, identity and the configuration user interface.
#include <windows.h>

#include "base/Log.h"
#include "interface/CallGuard.h"
#include "interface/Handles.h"
#include "base/Identity.h"

using namespace kesti;

extern "C" {

KestiResult KESTI_CALL kesti2_initialize(void) { return ResultOk; }

KestiResult KESTI_CALL kesti2_uninitialize(void) { return ResultOk; }

KestiResult KESTI_CALL kesti2_getIdentity(StringHandle* identity) {
    if (identity == nullptr) return ResultInvalidArgument;
    return SilentGuard([&] {
        *identity = NewStringHandle(IdentityText());
        return ResultOk;
    });
}

// The configuration dialogs are not part of this build yet: nothing is started, and the
// host is told so instead of being handed an empty result as if the user had finished.
KestiResult KESTI_CALL kesti2_updateConfiguration(void* host, StringHandle* result) {
    if (host == nullptr || result == nullptr) return ResultInvalidArgument;
    return ResultFailed;
}

void CALLBACK UpdateOPCConfiguration(HWND, HINSTANCE, LPSTR, int) {
    LogMessage(LogError, "UpdateOPCConfiguration: the configuration dialogs are not available in this build.");
}

} // extern "C"
