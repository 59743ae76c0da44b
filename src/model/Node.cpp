#include "model/Node.h"

#include <ctime>

#include <boost/format.hpp>

#include "base/Exception.h"
#include "base/Log.h"
#include "base/TimeConversion.h"
#include "model/SourceConnection.h"
#include "model/TagReading.h"
#include "model/TagWriting.h"

namespace kesti {

Node::Node(SourceConnection* connection, std::string name, std::string itemId)
    : connection_(connection), name_(std::move(name)), itemId_(std::move(itemId)) {}

Node::~Node() = default;

KestiTag& Node::AddTag(std::unique_ptr<KestiTag> tag) {
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

Duration StepOf(std::int32_t seconds) { return boost::posix_time::microseconds(static_cast<std::int64_t>(seconds) * 1000000); }

} // namespace

void Node::ReadCurrentData(ValueTable& table, const std::vector<TagEntry>& entries) {
    const ReadWindow current{TimePoint(boost::posix_time::not_a_date_time), Duration(boost::posix_time::not_a_date_time), 1};
    OpcHdaProxy& proxy = ProxyOf(connection_);
    proxy.RunExclusively([&] { ReadIntoTable(proxy, entries, current, table); });
}

void Node::ReadHistoricalData(ValueTable& table, const std::vector<TagEntry>& entries, std::int32_t start,
                              std::int32_t step) {
    OpcHdaProxy& proxy = ProxyOf(connection_);
    const ReadWindow window{TimePointFromSeconds(start), StepOf(step), table.RowCount()};
    proxy.RunExclusively([&] { ReadIntoTable(proxy, entries, window, table); });
}

void Node::WriteHistoricalData(const std::vector<TagEntry>& entries, std::int32_t start, std::int32_t step,
                               const std::vector<const ValueVector*>& rows) {
    OpcHdaProxy& proxy = ProxyOf(connection_);
    proxy.RunExclusively([&] { WriteRows(proxy, entries, TimePointFromSeconds(start), StepOf(step), rows); });
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

std::int64_t Node::GetUpdateTime() const { return static_cast<std::int64_t>(std::time(nullptr)); }

std::int64_t Node::RaiseUpdateTime(std::int64_t) { return GetUpdateTime(); }

ArrayNode::ArrayNode(SourceConnection* connection, std::string name, std::string itemId,
                     const std::vector<std::string>& elementNames)
    : Node(connection, std::move(name), std::move(itemId)) {
    for (std::size_t i = 0; i < elementNames.size(); ++i)
        AddTag(std::make_unique<ArrayTag>(*this, elementNames[i], static_cast<std::uint32_t>(i)));
    LogMessage(LogInformation,
               (boost::format("Added array node %1% with %2% tags.") % ItemId() % elementNames.size()).str());
}

std::int64_t ArrayNode::RaiseUpdateTime(std::int64_t t) {
    const std::int64_t previous = updateTime_;
    if (t > updateTime_) updateTime_ = t;
    return previous;
}

} // namespace kesti
