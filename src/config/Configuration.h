#pragma once
// The plug-in's settings, held in "<data folder>\OPCHDAConfiguration.xml": log level and size
// limit, the protected credentials, the server address, the read flag, the configured nodes
// and the array-node definitions.
#include <cstdint>
#include <string>
#include <vector>

#include "config/ArrayNodeDefinition.h"
#include "config/CredentialProtection.h"
#include "config/ReadShape.h"
#include "base/Log.h"

namespace kesti {

// A branch of the server's address space whose tags are offered: its item id, which is the
// browse position and the node's name for the host, and its browse path. "OPC" with an
// empty path stands for the whole server.
struct ConfiguredNode {
    std::string itemId;
    std::string browsePath;

    bool operator==(const ConfiguredNode& other) const {
        return itemId == other.itemId && browsePath == other.browsePath;
    }
};

constexpr std::int32_t kDefaultReadCallCost = 2000;
constexpr std::int32_t kDefaultServerTimeLimit = 600; // seconds

struct Configuration {
    std::string filePath;
    std::int32_t logLevel = kDefaultLogLevel;
    std::uint64_t logFileSize = kDefaultLogFileSize;
    Credentials credentials;
    std::string url;
    bool useNullTimeValues = true;
    ReadShape readShape = ReadShape::Automatic;
    std::int32_t readCallCost = kDefaultReadCallCost; // values one call is worth to an automatic read
    // Seconds that one read, or the browse of one node, may go on asking the server.
    std::int32_t serverTimeLimit = kDefaultServerTimeLimit;
    std::vector<ConfiguredNode> nodes;
    std::vector<ArrayNodeDefinition> arrayNodes;
};

// Builds a Configuration from the file. It names the log "OPCHDAKestiLog.log" from now on and,
// when the file holds settings, hands their log level and size limit to the log. Throws only
// for an odd number of settings under "nodes"; every other problem leaves defaults and is logged.
Configuration ReadConfiguration();

// Writes the whole file (to a temporary file beside it, which then replaces the old one);
// false when it could not be written (the old file is kept).
bool SaveConfiguration(const Configuration& configuration);

// "<data folder>\<prefix>Configuration.xml", the data folder created when missing.
std::string GetConfigurationFilePath();

} // namespace kesti
