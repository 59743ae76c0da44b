#include "config/ArrayNodeDefinition.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include <boost/format.hpp>

#include "base/Log.h"

namespace kesti {
namespace {

const char* const kSampleComment =
    " This is a sample arraynode showing some available settings. You need to add a tag name and configure the xml "
    "properly for it to work. ";
const char* const kOneNodePerTagComment = " You should add one arraynode for each tag that holds array data. ";

// A leading decimal number, as scanf reads one; false when the text starts with none.
bool ReadLeadingInteger(const char* text, std::int32_t& value) {
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text, &end, 10);
    if (end == text) return false;
    value = static_cast<std::int32_t>(parsed < INT32_MIN ? INT32_MIN : parsed > INT32_MAX ? INT32_MAX : parsed);
    return true;
}

bool ReadLeadingReal(const char* text, double& value) {
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text) return false;
    value = parsed;
    return true;
}

void ReadStartAndInterval(const pugi::xml_node& naming, ArrayNodeDefinition& definition) {
    double value = 0;
    if (ReadLeadingReal(naming.attribute("start").value(), value)) definition.start = static_cast<float>(value);
    if (ReadLeadingReal(naming.attribute("interval").value(), value)) definition.interval = static_cast<float>(value);
}

// From the first "arraytag" on, every sibling element gives one name, whatever its own
// name. An element without text gives an empty name, so that the later names keep their
// positions in the array.
void ReadNames(const pugi::xml_node& arrayNode, ArrayNodeDefinition& definition) {
    for (pugi::xml_node e = arrayNode.child("arraytag"); e; e = e.next_sibling())
        if (e.type() == pugi::node_element) definition.names.emplace_back(e.child_value());
}

void SettleNames(ArrayNodeDefinition& definition) {
    if (definition.size >= 0 && definition.names.size() == static_cast<std::size_t>(definition.size)) {
        LogMessage(LogInformation, (boost::format("Successfully read %1% array tag names from XML file.") %
                                    definition.size).str());
        return;
    }
    if (!definition.names.empty()) {
        LogMessage(LogInformation,
                   // The "1" after the count is part of the record's text; readers of old logs match it.
                   (boost::format("Read %1%1 array tag names from XML file, but the size attribute is %2%. The "
                                  "supplied names are ignored.") %
                    definition.names.size() % definition.size)
                       .str());
        definition.names.clear();
    }
    CreateVirtualTagNames(definition);
}

} // namespace

bool ArrayNodeDefinition::operator==(const ArrayNodeDefinition& other) const {
    return tag == other.tag && namesByArray == other.namesByArray && prefix == other.prefix && size == other.size &&
           namesTag == other.namesTag && start == other.start && interval == other.interval && names == other.names;
}

std::vector<ArrayNodeDefinition> ReadArrayNodes(const pugi::xml_node& settings) {
    std::vector<ArrayNodeDefinition> definitions;
    for (pugi::xml_node element = settings.child("arraynode"); element; element = element.next_sibling("arraynode")) {
        const pugi::xml_attribute tag = element.attribute("tag");
        if (!tag) {
            LogMessage(LogError, "Ignoring incomplete ArrayNode. An ArrayNode has to have a tag attribute that "
                                 "specifies the tag that contains array data.");
            continue;
        }
        if (*tag.value() == '\0') continue; // the inert sample
        ArrayNodeDefinition definition;
        definition.tag = tag.value();
        if (const pugi::xml_attribute prefix = element.attribute("prefix")) definition.prefix = prefix.value();
        // A missing or non-numeric size counts as 0: nothing is created and the tag stays
        // an ordinary tag.
        ReadLeadingInteger(element.attribute("size").value(), definition.size);
        if (definition.size > kMaxArrayElements) {
            LogMessage(LogError, (boost::format("Ignoring the ArrayNode of tag %1%: its size %2% is larger than the "
                                                "largest array of %3% elements.") %
                                  definition.tag % element.attribute("size").value() % kMaxArrayElements).str());
            continue;
        }

        if (const pugi::xml_node byStart = element.child("arraytagnamesbystartandinterval")) {
            ReadStartAndInterval(byStart, definition);
        } else if (const pugi::xml_node byArray = element.child("arraytagnamesbyarray")) {
            const pugi::xml_attribute namesTag = byArray.attribute("tag");
            if (!namesTag) {
                LogMessage(LogError, (boost::format("Ignoring the ArrayNode of tag %1%: its arraytagnamesbyarray "
                                                    "element has no tag attribute.") %
                                      definition.tag).str());
                continue;
            }
            definition.namesTag = namesTag.value();
            definition.namesByArray = 1;
        }
        ReadNames(element, definition);
        SettleNames(definition);
        definitions.push_back(std::move(definition));
    }
    return definitions;
}

void CreateVirtualTagNames(ArrayNodeDefinition& definition) {
    LogMessage(LogInformation,
               (boost::format("Creating virtual tag names from start and interval for tag %1%") % definition.tag).str());
    for (std::int32_t i = 0; i < definition.size; ++i) {
        const float value = static_cast<float>(i) * definition.interval + definition.start;
        std::ostringstream name;
        name << definition.prefix << value;
        definition.names.push_back(name.str());
    }
}

pugi::xml_node ArrayNodeToXml(pugi::xml_node& parent, const ArrayNodeDefinition& definition) {
    pugi::xml_node element = parent.append_child("arraynode");
    element.append_attribute("tag") = definition.tag.c_str();
    element.append_attribute("size") = std::to_string(definition.size).c_str();
    element.append_attribute("prefix") = definition.prefix.c_str();
    if (definition.namesByArray == 1) {
        element.append_child("arraytagnamesbyarray").append_attribute("tag") = definition.namesTag.c_str();
    } else {
        pugi::xml_node naming = element.append_child("arraytagnamesbystartandinterval");
        // Whole numbers, truncated: the names below are written out, so nothing is lost.
        naming.append_attribute("start") = std::to_string(static_cast<long long>(definition.start)).c_str();
        naming.append_attribute("interval") = std::to_string(static_cast<long long>(definition.interval)).c_str();
    }
    for (const std::string& name : definition.names)
        element.append_child("arraytag").append_child(pugi::node_pcdata).set_value(name.c_str());
    return element;
}

void WriteArrayNodes(pugi::xml_node& settings, const std::vector<ArrayNodeDefinition>& definitions) {
    if (!definitions.empty()) {
        for (const ArrayNodeDefinition& definition : definitions) ArrayNodeToXml(settings, definition);
        return;
    }
    ArrayNodeDefinition sample;
    sample.size = 4;
    sample.start = 10;
    sample.interval = 2;
    sample.names = {"tag_10", "tag_12", "tag_14", "tag_16"};
    ArrayNodeToXml(settings, sample).append_child(pugi::node_comment).set_value(kSampleComment);
    settings.append_child(pugi::node_comment).set_value(kOneNodePerTagComment);
}

std::vector<std::string> FindArrayTagNames(const std::vector<ArrayNodeDefinition>& definitions,
                                           const std::string& itemId) {
    for (const ArrayNodeDefinition& definition : definitions)
        if (definition.tag == itemId) return definition.names;
    return {};
}

} // namespace kesti
