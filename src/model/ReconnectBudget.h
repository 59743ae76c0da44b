#pragma once
// What one export call may do about a lost server: connect again once per connection. A
// reconnect that failed is not tried again in the same call, so the nodes after it fail at
// once instead of each waiting for the server; the next export call tries again. The budget
// belongs to the export call, so host threads calling at once never share one.
#include <map>
#include <utility>

#include <windows.h>

namespace kesti {

class ServerSession;

class ReconnectBudget {
public:
    // Takes the call's one reconnect of the connection; false when it was taken already.
    bool Take(const ServerSession& connection) {
        bool& taken = states_[&connection].taken;
        return !std::exchange(taken, true);
    }
    void NoteFailedReconnect(const ServerSession& connection, HRESULT lost) { states_[&connection].failed = lost; }
    // The loss whose reconnect failed in this call, or S_OK.
    HRESULT FailedReconnect(const ServerSession& connection) const {
        const auto state = states_.find(&connection);
        return state == states_.end() ? S_OK : state->second.failed;
    }

private:
    struct State {
        bool taken = false;
        HRESULT failed = S_OK;
    };
    std::map<const ServerSession*, State> states_;
};

} // namespace kesti
