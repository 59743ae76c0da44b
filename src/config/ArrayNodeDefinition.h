#pragma once
// Tags whose values are whole arrays, shown to the host as a node of one virtual tag per
// element. Declared by "arraynode" elements of the configuration file.
#include <cstdint>
#include <string>
#include <vector>

#include <pugixml.hpp>

namespace kesti {

struct ArrayNodeDefinition {
    std::string tag;             // item id of the server tag that holds the array
    int namesByArray = 0;        // 1: named by an "arraytagnamesbyarray" element
    std::string prefix = "tag_"; // put in front of computed names
    std::int32_t size = 0;       // number of elements, and of virtual tags
    std::string namesTag;        // the "tag" attribute of "arraytagnamesbyarray", kept
    float start = 1.0f;          // number of the first computed name
    float interval = 1.0f;       // step between computed names
    std::vector<std::string> names;

    bool operator==(const ArrayNodeDefinition& other) const;
};

// The largest array a definition may declare. A larger size (or one too large for 32 bits)
// is a mistake in the file, not a plant's array: building its element tags would take
// minutes and gigabytes, so such a definition is skipped with an Error record.
constexpr std::int32_t kMaxArrayElements = 65536;

// The definitions of the "arraynode" children of settings, in document order.
std::vector<ArrayNodeDefinition> ReadArrayNodes(const pugi::xml_node& settings);
// One "arraynode" per definition, or the inert sample with its comments when there are none.
void WriteArrayNodes(pugi::xml_node& settings, const std::vector<ArrayNodeDefinition>& definitions);
pugi::xml_node ArrayNodeToXml(pugi::xml_node& parent, const ArrayNodeDefinition& definition);
// Appends prefix + (i x interval + start) for every element, numbers as a stream prints them.
void CreateVirtualTagNames(ArrayNodeDefinition& definition);
// The names of the first definition whose tag is exactly itemId; empty when none matches.
std::vector<std::string> FindArrayTagNames(const std::vector<ArrayNodeDefinition>& definitions,
                                           const std::string& itemId);

} // namespace kesti
