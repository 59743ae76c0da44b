#pragma once
// What one export call may do about a lost server: connect again once per connection (a
// reconnect that fails ends the export call; the next call tries again). The budget belongs
// to the export call, so host threads calling at once never share one.
#include <set>

namespace kesti {

class ServerSession;

class ReconnectBudget {
public:
    // Takes the call's one reconnect of the connection; false when it was taken already.
    bool Take(const ServerSession& connection) {
        return taken_.insert(&connection).second;
    }

private:
    std::set<const ServerSession*> taken_;
};

} // namespace kesti
