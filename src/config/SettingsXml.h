#pragma once
// The "setting" elements of the configuration file: key and value attributes.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

namespace kesti {

using SettingsMap = std::map<std::string, std::string>; // ordered by the bytes of the key

// The key/value pairs of the element's "setting" children; a later key replaces an earlier
// one, elements without key or value are passed over. Each pair taken is logged at Debug.
SettingsMap ReadSettings(const pugi::xml_node& element);
void AddSetting(pugi::xml_node& parent, const std::string& key, const std::string& value);

// The (first text, second text) pairs stored under "nodes". When every key has the form
// Node_<n>_0 / Node_<n>_1 with both halves of every n, the pairs are ordered by n; any
// other set of keys is paired two by two in key order. An entry
// left without a partner throws "Initialization of nodes: false number of node arguments".
std::vector<std::pair<std::string, std::string>> PairNodeSettings(const SettingsMap& settings);

} // namespace kesti
