#include "model/Node.h"

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Exception.h"
#include "base/Log.h"
#include "base/TimeConversion.h"
#include "model/SourceConnection.h"
#include "model/TagReading.h"
#include "model/TagWriting.h"

namespace kesti {

Node::Node(SourceConnection* connection, std::string name) : connection_(connection), name_(std::move(name)) {}

Node::~Node() = default;

Tag& Node::AddTag(std::unique_ptr<Tag> tag) {
    tags_.push_back(std::move(tag));
    return *tags_.back();
}

Node& Node::AddChild(std::unique_ptr<Node> child) {
    children_.push_back(std::move(child));
    return *children_.back();
}

namespace {

OpcHdaProxy& ProxyOf(SourceConnection* connection) {
    if (connection == nullptr || connection->Proxy() == nullptr) throw Exception("The node has no connection to a server.");
    return *connection->Proxy();
}

// Runs a node's work on the connection's COM thread. When the server is lost, the proxy
// connects again (once per export call and connection), with the item handles of the lost
// server forgotten, and the work runs once more. A loss that remains is told as any failed
// call is: at Error, with the node's cells left missing; a server that cannot be activated
// again fails the export.
template <class Work>
void RunWithReconnect(SourceConnection* connection, ReconnectBudget& budget, Work work) {
    ProxyOf(connection).Run([&](ServerSession& session) {
        HRESULT lost = S_OK;
        try {
            work(session);
            return;
        } catch (const ComError& e) {
            if (!IsLostConnection(e.Result())) throw;
            if (!budget.Take(session)) {
                LogMessage(LogError, e.Message());
                return;
            }
            lost = e.Result();
        }
        session.Reconnect(lost); // a server that cannot be activated again ends the export call
        try {
            work(session);
        } catch (const ComError& e) {
            if (!IsLostConnection(e.Result())) throw;
            LogMessage(LogError, e.Message());
        }
    });
}

Duration StepOf(std::int32_t seconds) { return boost::posix_time::microseconds(static_cast<std::int64_t>(seconds) * 1000000); }

} // namespace

void Node::ReadCurrentData(ValueTable& table, const std::vector<TagEntry>& entries, ReconnectBudget& budget) {
    const ReadWindow current{TimePoint(boost::posix_time::not_a_date_time), Duration(boost::posix_time::not_a_date_time), 1};
    RunWithReconnect(connection_, budget, [&](ServerSession& session) { ReadIntoTable(session, entries, current, table); });
}

void Node::ReadHistoricalData(ValueTable& table, const std::vector<TagEntry>& entries, std::int32_t start,
                              std::int32_t step, ReconnectBudget& budget) {
    const ReadWindow window{TimePointFromSeconds(start), StepOf(step), table.RowCount()};
    RunWithReconnect(connection_, budget, [&](ServerSession& session) { ReadIntoTable(session, entries, window, table); });
}

void Node::WriteHistoricalData(const std::vector<TagEntry>& entries, std::int32_t start, std::int32_t step,
                               const std::vector<const ValueVector*>& rows, ReconnectBudget& budget) {
    RunWithReconnect(connection_, budget, [&](ServerSession& session) {
        WriteRows(session, entries, TimePointFromSeconds(start), StepOf(step), rows);
    });
}

void Node::ReadBatchData(const std::vector<TagEntry>&, const std::string&, std::int32_t) {}

void Node::GetActiveBatches(std::int32_t, std::int32_t) {
    LogMessage(LogDebug, "GetActiveBatches was called, but is not implemented");
}

void Node::GetBatchTimes(const std::string&, std::int32_t, std::uint64_t&, std::uint64_t&) {
    LogMessage(LogDebug, "GetBatchTimes was called, but is not implemented");
}

void Node::WriteBatchData(const std::vector<TagEntry>&, const std::string&, std::int32_t) {
    LogMessage(LogDebug, "WriteBatchData was called, but is not implemented");
}

ArrayNode::ArrayNode(SourceConnection* connection, std::string name, std::string itemId,
                     const std::vector<std::string>& elementNames)
    : Node(connection, std::move(name)), itemId_(std::move(itemId)) {
    for (std::size_t i = 0; i < elementNames.size(); ++i)
        AddTag(std::make_unique<Tag>(*this, elementNames[i], static_cast<std::uint32_t>(i)));
    LogMessage(LogInformation,
               (boost::format("Added array node %1% with %2% tags.") % ItemId() % elementNames.size()).str());
}

} // namespace kesti
