#include "model/SourceConnection.h"

#include "base/ComError.h"
#include "base/Log.h"
#include "model/TreeBuilder.h"

namespace kesti {

std::unique_ptr<SourceConnection> SourceConnection::Open() {
    auto connection = std::make_unique<SourceConnection>();
    connection->configuration_ = ReadConfiguration();
    const Configuration& c = connection->configuration_;
    connection->proxy_ = std::make_unique<OpcHdaProxy>();
    connection->proxy_->SetConnection(c.credentials.userName, c.credentials.password, c.credentials.domain, c.url);
    try {
        connection->proxy_->Connect();
    } catch (const ComError& e) {
        LogMessage(LogError, e.Message()); // why; the export's record says what failed
        throw ComError(e.Result(), e.Call(), "Could not load server.");
    }
    connection->proxy_->SetUseNullTimeValues(c.useNullTimeValues);
    connection->proxy_->SetReadShape(c.readShape, c.readCallCost, std::chrono::seconds(c.serverTimeLimit));
    connection->AddNode(BuildTopNode(*connection));
    return connection;
}

} // namespace kesti
