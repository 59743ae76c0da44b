#include "config/Configuration.h"

#include <algorithm>

#include <boost/format.hpp>
#include <pugixml.hpp>

#include <windows.h>

#include "base/DataFolder.h"
#include "base/NumberText.h"
#include "config/SettingsXml.h"
#include "base/Identity.h"

namespace kesti {
namespace {

// Whitespace-only text of an element (an array tag name of blanks) is kept too.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;

const std::string* Find(const SettingsMap& settings, const char* key) {
    const auto it = settings.find(key);
    return it != settings.end() ? &it->second : nullptr;
}

void ApplyLogSettings(const SettingsMap& settings, Configuration& configuration) {
    if (const std::string* size = Find(settings, "LogFileSize")) configuration.logFileSize = ReadSize64(*size);
    if (const std::string* level = Find(settings, "LogLevel")) configuration.logLevel = ReadInt32(*level);
    SetLogFileSize(configuration.logFileSize);
    SetLogLevel(configuration.logLevel);
}

void ApplyConnectionSettings(const SettingsMap& settings, Configuration& configuration) {
    if (const std::string* stored = Find(settings, "Connection"))
        DecryptConnectionString(*stored, configuration.credentials);
    if (const std::string* url = Find(settings, "URL")) configuration.url = *url;
    if (const std::string* flag = Find(settings, "UseNullTimeValues"))
        configuration.useNullTimeValues = ReadInt32(*flag) != 0;
    if (const std::string* cost = Find(settings, "ReadCallCost"))
        configuration.readCallCost = std::max(ReadInt32(*cost), 0);
    if (const std::string* limit = Find(settings, "ServerTimeLimit")) {
        const std::int32_t seconds = ReadInt32(*limit);
        if (seconds > 0) configuration.serverTimeLimit = seconds;
        else
            LogMessage(LogWarning, (boost::format("Initialization: the ServerTimeLimit setting \"%1%\" is not a number of "
                                                  "seconds above 0; %2% seconds are used.") % *limit % kDefaultServerTimeLimit).str());
    }
    if (const std::string* shape = Find(settings, "ReadShape")) {
        if (const auto known = ParseReadShape(*shape)) configuration.readShape = *known;
        else
            LogMessage(LogWarning, (boost::format("Initialization: the ReadShape setting \"%1%\" is not one of automatic, "
                                                  "forward, rows, whole; reads choose their shape themselves.") % *shape).str());
    }
}

void ReadNodes(const pugi::xml_node& settings, Configuration& configuration) {
    for (auto& [itemId, browsePath] : PairNodeSettings(ReadSettings(settings.child("nodes"))))
        configuration.nodes.push_back(ConfiguredNode{std::move(itemId), std::move(browsePath)});
    configuration.arrayNodes = ReadArrayNodes(settings);
}

void LogOutcome(const Configuration& configuration) {
    if (!configuration.url.empty() && !configuration.nodes.empty())
        LogMessage(LogInformation, "Initialization: Init configuration done, configuration settings loaded successfully.");
    else
        LogMessage(LogWarning, "Initialization: configuration done, no configuration loaded.");
}

pugi::xml_document BuildDocument(const Configuration& configuration) {
    pugi::xml_document document;
    document.append_child(pugi::node_declaration).append_attribute("version") = "1.0";
    pugi::xml_node settings = document.append_child("settings");
    AddSetting(settings, "LogFileSize", std::to_string(configuration.logFileSize));
    AddSetting(settings, "LogLevel", std::to_string(configuration.logLevel));
    AddSetting(settings, "Connection", EncryptConnectionString(configuration.credentials));
    AddSetting(settings, "URL", configuration.url);
    AddSetting(settings, "UseNullTimeValues", configuration.useNullTimeValues ? "1" : "0");
    if (configuration.readShape != ReadShape::Automatic) // a file without it reads as before
        AddSetting(settings, "ReadShape", ReadShapeText(configuration.readShape));
    if (configuration.readCallCost != kDefaultReadCallCost)
        AddSetting(settings, "ReadCallCost", std::to_string(configuration.readCallCost));
    if (configuration.serverTimeLimit != kDefaultServerTimeLimit)
        AddSetting(settings, "ServerTimeLimit", std::to_string(configuration.serverTimeLimit));
    pugi::xml_node nodes = settings.append_child("nodes");
    for (std::size_t i = 0; i < configuration.nodes.size(); ++i) {
        AddSetting(nodes, (boost::format("Node_%1%_0") % i).str(), configuration.nodes[i].itemId);
        AddSetting(nodes, (boost::format("Node_%1%_1") % i).str(), configuration.nodes[i].browsePath);
    }
    WriteArrayNodes(settings, configuration.arrayNodes);
    return document;
}

// The old file stays whole until the new one is complete: a failed write (a full disk)
// loses nothing, and a reader never sees half a file.
bool WriteReplacing(const pugi::xml_document& document, const std::string& path) {
    const std::string temporary = path + ".tmp";
    if (!document.save_file(temporary.c_str(), "\t", pugi::format_default, pugi::encoding_utf8)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string GetConfigurationFilePath() {
    return (boost::format("%1%\\%2%Configuration.xml") % GetDataFolder() % GetFileNamePrefix()).str();
}

Configuration ReadConfiguration() {
    Configuration configuration;
    SetFileNamePrefix("OPCHDA");
    configuration.filePath = GetConfigurationFilePath();
    pugi::xml_document document;
    const pugi::xml_parse_result loaded =
        document.load_file(configuration.filePath.c_str(), kParseOptions, pugi::encoding_auto);
    LogMessage(LogInformation, (boost::format("Initialization: %1% trying to read configuration from %2%") %
                                IdentityText() % configuration.filePath).str());
    if (loaded) {
        const pugi::xml_node settingsElement = document.child("settings");
        if (!settingsElement) {
            LogMessage(LogWarning, "Initialization: Could not find the <settings> element in the XML file.");
        } else {
            const SettingsMap settings = ReadSettings(settingsElement);
            ApplyLogSettings(settings, configuration);
            ApplyConnectionSettings(settings, configuration);
            ReadNodes(settingsElement, configuration);
        }
    }
    LogOutcome(configuration);
    return configuration;
}

bool SaveConfiguration(const Configuration& configuration) {
    return WriteReplacing(BuildDocument(configuration), configuration.filePath);
}

} // namespace kesti
