#include "config/SettingsXml.h"

#include <cctype>

#include <boost/format.hpp>

#include "base/Exception.h"
#include "base/Log.h"

namespace kesti {
namespace {

// "Node_<n>_<half>" with n in decimal digits and half 0 or 1.
bool ParseNodeKey(const std::string& key, std::uint64_t& n, int& half) {
    const std::string prefix = "Node_";
    if (key.compare(0, prefix.size(), prefix) != 0 || key.size() < prefix.size() + 3) return false;
    const std::size_t underscore = key.size() - 2;
    if (key[underscore] != '_' || (key.back() != '0' && key.back() != '1')) return false;
    const std::string digits = key.substr(prefix.size(), underscore - prefix.size());
    if (digits.empty() || digits.size() > 18) return false;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    n = std::stoull(digits);
    half = key.back() - '0';
    return true;
}

[[noreturn]] void ThrowOddNodeCount() { throw Exception("Initialization of nodes: false number of node arguments"); }

// Pairs by node number, or false when the keys are not all Node_<n>_0 / Node_<n>_1 with
// both halves of every n present exactly once.
bool PairByNodeNumber(const SettingsMap& settings, std::vector<std::pair<std::string, std::string>>& pairs) {
    std::map<std::uint64_t, std::pair<const std::string*, const std::string*>> byNumber;
    for (const auto& [key, value] : settings) {
        std::uint64_t n = 0;
        int half = 0;
        if (!ParseNodeKey(key, n, half)) return false;
        const std::string*& slot = half == 0 ? byNumber[n].first : byNumber[n].second;
        if (slot != nullptr) return false; // Node_1_0 and Node_01_0: ambiguous
        slot = &value;
    }
    for (const auto& [n, halves] : byNumber)
        if (halves.first == nullptr || halves.second == nullptr) return false;
    for (const auto& [n, halves] : byNumber) pairs.emplace_back(*halves.first, *halves.second);
    return true;
}

} // namespace

SettingsMap ReadSettings(const pugi::xml_node& element) {
    SettingsMap settings;
    for (pugi::xml_node setting = element.child("setting"); setting; setting = setting.next_sibling("setting")) {
        const pugi::xml_attribute key = setting.attribute("key");
        const pugi::xml_attribute value = setting.attribute("value");
        if (!key || !value) continue;
        settings[key.value()] = value.value();
        LogMessage(LogDebug, (boost::format("Configuration: Key:%1%, Value:%2%") % key.value() % value.value()).str());
    }
    return settings;
}

void AddSetting(pugi::xml_node& parent, const std::string& key, const std::string& value) {
    pugi::xml_node setting = parent.append_child("setting");
    setting.append_attribute("key") = key.c_str();
    setting.append_attribute("value") = value.c_str();
}

std::vector<std::pair<std::string, std::string>> PairNodeSettings(const SettingsMap& settings) {
    if (settings.size() % 2 != 0) ThrowOddNodeCount();
    std::vector<std::pair<std::string, std::string>> pairs;
    if (PairByNodeNumber(settings, pairs)) return pairs;
    pairs.clear();
    for (auto it = settings.begin(); it != settings.end(); std::advance(it, 2))
        pairs.emplace_back(it->second, std::next(it)->second);
    return pairs;
}

} // namespace kesti
