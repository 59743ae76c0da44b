#include "HostConnection.h"

#include <cstdio>

#include "Arguments.h"

namespace kesti::host {

void Check(KestiResult result, const std::string& what) {
    if (result == ResultOk) return;
    if (result == ResultInvalidArgument)
        throw CallFailed(result, "the plug-in refused an argument of " + what + " (result 2)");
    throw CallFailed(result, what + " failed (result " + std::to_string(result) + ")");
}

std::string CsvCell(const KestiLibrary& dll, VectorHandle vector, uint32_t index) {
    uint32_t type = 0;
    dll.kesti2_vectorGetType(vector, index, &type);
    if (type == KestiValueFloat) {
        float value = 0;
        dll.kesti2_vectorGetFloat(vector, index, &value);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.7g", value);
        return buffer;
    }
    if (type == KestiValueString) {
        StringHandle text = nullptr;
        dll.kesti2_vectorGetString(vector, index, &text);
        std::string quoted = "\"";
        for (char c : TakeString(dll, text)) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        return quoted + "\"";
    }
    return "";
}

HostConnection::HostConnection(const KestiLibrary& dll) : dll_(dll) {
    int host = 0;
    Check(dll_.kesti2_connectionOpen(&host, &handle_), "opening the connection");
    NodeHandle top = nullptr;
    dll_.kesti2_connectionGetNode(handle_, 0, &top);
    Walk(top, "");
}

HostConnection::~HostConnection() { dll_.kesti2_connectionClose(handle_); }

std::vector<TagHandle> HostConnection::Find(const std::vector<std::string>& names) const {
    std::vector<TagHandle> tags;
    for (const std::string& name : names) {
        const auto found = tags_.find(name);
        if (found == tags_.end())
            throw UsageError("TAG \"" + name + "\" is not in the tree: expected a tag's name or NODE/NAME (see kesti-host tree)");
        tags.push_back(found->second);
    }
    return tags;
}

void HostConnection::Walk(NodeHandle node, const std::string& indent) {
    StringHandle nameHandle = nullptr;
    dll_.kesti2_nodeGetName(node, &nameHandle);
    const std::string name = TakeString(dll_, nameHandle);
    tree_ += indent + "[" + name + "]\n";
    uint32_t count = 0;
    dll_.kesti2_nodeGetNumTags(node, &count);
    for (uint32_t i = 0; i < count; ++i) {
        TagHandle tag = nullptr;
        dll_.kesti2_nodeGetTag(node, i, &tag);
        StringHandle tagName = nullptr;
        dll_.kesti2_tagGetName(tag, &tagName);
        const std::string tagText = TakeString(dll_, tagName);
        tree_ += indent + "  " + tagText + "\n";
        tags_.emplace(tagText, tag);
        tags_[name + "/" + tagText] = tag;
    }
    dll_.kesti2_nodeGetNumNodes(node, &count);
    for (uint32_t i = 0; i < count; ++i) {
        NodeHandle child = nullptr;
        dll_.kesti2_nodeGetNode(node, i, &child);
        Walk(child, indent + "  ");
    }
}

} // namespace kesti::host
