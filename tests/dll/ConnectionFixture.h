#pragma once
// A DLL test with the simulation server behind it: writes the plug-in's configuration file
// and opens connections through the exports.
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/Files.h"
#include "common/SimulationServer.h"
#include "dll/DllFixture.h"

namespace kesti::test {

struct NodeView {
    std::string name;
    std::vector<std::string> tags;
    std::vector<NodeView> children;
};

class ConnectionTest : public DllTest {
protected:
    void WriteConfiguration(const std::string& url, const std::vector<std::pair<std::string, std::string>>& nodes,
                            const std::string& arrayNodes = "", const std::string& settings = "") {
        CreateDirectoryA((MachineDataFolder().substr(0, MachineDataFolder().rfind('\\'))).c_str(), nullptr);
        CreateDirectoryA(MachineDataFolder().c_str(), nullptr);
        std::ofstream file(MachineDataFolder() + "\\OPCHDAConfiguration.xml", std::ios::binary);
        file << "<?xml version=\"1.0\" ?>\n<settings>\n<setting key=\"URL\" value=\"" << url << "\" />\n" << settings << "<nodes>\n";
        for (std::size_t i = 0; i < nodes.size(); ++i)
            file << "<setting key=\"Node_" << i << "_0\" value=\"" << nodes[i].first << "\" />\n<setting key=\"Node_" << i
                 << "_1\" value=\"" << nodes[i].second << "\" />\n";
        file << "</nodes>\n" << arrayNodes << "</settings>\n";
    }

    ConnectionHandle Open() {
        int host = 0;
        ConnectionHandle connection = nullptr;
        EXPECT_EQ(Dll().kesti2_connectionOpen(&host, &connection), ResultOk) << ReadLog("OPCHDAKestiLog.log");
        return connection;
    }

    NodeView View(NodeHandle node) {
        NodeView view;
        StringHandle name = nullptr;
        Dll().kesti2_nodeGetName(node, &name);
        view.name = TakeString(name);
        uint32_t count = 0;
        Dll().kesti2_nodeGetNumTags(node, &count);
        for (uint32_t i = 0; i < count; ++i) {
            TagHandle tag = nullptr;
            Dll().kesti2_nodeGetTag(node, i, &tag);
            StringHandle tagName = nullptr;
            Dll().kesti2_tagGetName(tag, &tagName);
            view.tags.push_back(TakeString(tagName));
        }
        Dll().kesti2_nodeGetNumNodes(node, &count);
        for (uint32_t i = 0; i < count; ++i) {
            NodeHandle child = nullptr;
            Dll().kesti2_nodeGetNode(node, i, &child);
            view.children.push_back(View(child));
        }
        return view;
    }

    // The tags of configured node i (a child of the top node), or of child j of that node.
    std::vector<TagHandle> TagsOf(ConnectionHandle connection, uint32_t i, int child = -1) {
        NodeHandle top = nullptr, node = nullptr;
        Dll().kesti2_connectionGetNode(connection, 0, &top);
        Dll().kesti2_nodeGetNode(top, i, &node);
        if (child >= 0) Dll().kesti2_nodeGetNode(node, static_cast<uint32_t>(child), &node);
        uint32_t count = 0;
        Dll().kesti2_nodeGetNumTags(node, &count);
        std::vector<TagHandle> tags(count);
        for (uint32_t t = 0; t < count; ++t) Dll().kesti2_nodeGetTag(node, t, &tags[t]);
        return tags;
    }

    // A cell as text: the float ("%g"), the string in quotes, or "-" when missing.
    std::string Cell(VectorHandle row, uint32_t index) {
        uint32_t type = 0;
        Dll().kesti2_vectorGetType(row, index, &type);
        if (type == KestiValueFloat) {
            float value = 0;
            Dll().kesti2_vectorGetFloat(row, index, &value);
            char text[32];
            std::snprintf(text, sizeof text, "%g", value);
            return text;
        }
        if (type == KestiValueString) {
            StringHandle text = nullptr;
            Dll().kesti2_vectorGetString(row, index, &text);
            return "\"" + TakeString(text) + "\"";
        }
        return "-";
    }

    NodeView Tree(ConnectionHandle connection) {
        uint32_t count = 0;
        EXPECT_EQ(Dll().kesti2_connectionGetNumNodes(connection, &count), ResultOk);
        EXPECT_EQ(count, 1u);
        NodeHandle top = nullptr;
        EXPECT_EQ(Dll().kesti2_connectionGetNode(connection, 1, &top), ResultInvalidArgument);
        EXPECT_EQ(Dll().kesti2_connectionGetNode(connection, 0, &top), ResultOk);
        return View(top);
    }
};

} // namespace kesti::test
