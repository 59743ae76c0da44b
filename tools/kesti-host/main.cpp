// kesti-host: a command-line host program for OpcHDAKesti.dll. It loads the DLL by path, as a
// real host does, and drives it through its exports.
//
//   kesti-host [--dll PATH] identity
//   kesti-host [--dll PATH] configure URL NODE [NODE ...]   writes the plug-in's configuration
//                                                          (NODE: item id, or "OPC" for all)
//   kesti-host [--dll PATH] configure-ui                    the plug-in's configuration dialogs
//   kesti-host [--dll PATH] tree                            prints the node and tag tree
//   kesti-host [--dll PATH] current TAG [TAG ...]           current values as CSV
//   kesti-host [--dll PATH] history START STEP ROWS TAG...  rows as CSV (START: seconds since 1970
//                                                          or yyyy-mm-ddThh:mm:ss UTC; STEP: seconds)
//   kesti-host [--dll PATH] write START STEP TAG...         writes CSV rows read from standard input
//
// A TAG is the tag's name, or NODE/NAME when names repeat.
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <shlobj.h>

#include "common/KestiLibrary.h"

using kesti::host::KestiLibrary;

namespace {

std::string TakeString(const KestiLibrary& dll, StringHandle string) {
    uint32_t length = 0;
    dll.kesti2_stringCopy(string, nullptr, &length);
    std::string text(length, '\0');
    if (length > 0) dll.kesti2_stringCopy(string, &text[0], &length);
    dll.kesti2_stringFree(string);
    return text;
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

std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

int Configure(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        std::fprintf(stderr, "kesti-host: configure URL NODE [NODE ...]\n");
        return 2;
    }
    char common[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    const std::string folder = std::string(common) + "\\Norvane\\Kesti";
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    std::ofstream file(folder + "\\OPCHDAConfiguration.xml", std::ios::binary);
    file << "<?xml version=\"1.0\"?>\n<settings>\n\t<setting key=\"URL\" value=\"" << XmlEscaped(args[0]) << "\" />\n\t<nodes>\n";
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool all = args[i] == "OPC";
        file << "\t\t<setting key=\"Node_" << i - 1 << "_0\" value=\"" << XmlEscaped(args[i]) << "\" />\n"
             << "\t\t<setting key=\"Node_" << i - 1 << "_1\" value=\"" << (all ? "" : XmlEscaped(args[i])) << "\" />\n";
    }
    file << "\t</nodes>\n</settings>\n";
    std::printf("configured %s with %zu node(s) in %s\n", args[0].c_str(), args.size() - 1, folder.c_str());
    return file ? 0 : 1;
}

// An open connection and the tags of its tree by name and by NODE/NAME.
class Connection {
public:
    explicit Connection(const KestiLibrary& dll) : dll_(dll) {
        int host = 0;
        if (dll_.kesti2_connectionOpen(&host, &handle_) != ResultOk)
            throw std::runtime_error("the connection could not be opened (see the plug-in's log)");
        NodeHandle top = nullptr;
        dll_.kesti2_connectionGetNode(handle_, 0, &top);
        Walk(top, "");
    }
    ~Connection() { dll_.kesti2_connectionClose(handle_); }

    ConnectionHandle Handle() const { return handle_; }
    const std::string& Tree() const { return tree_; }
    std::vector<TagHandle> Find(const std::vector<std::string>& names) const {
        std::vector<TagHandle> tags;
        for (const std::string& name : names) {
            const auto found = tags_.find(name);
            if (found == tags_.end()) throw std::runtime_error("no tag " + name);
            tags.push_back(found->second);
        }
        return tags;
    }

private:
    void Walk(NodeHandle node, const std::string& indent) {
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

    const KestiLibrary& dll_;
    ConnectionHandle handle_ = nullptr;
    std::string tree_;
    std::map<std::string, TagHandle> tags_;
};

long ParseTime(const std::string& text) {
    if (text.find('-') == std::string::npos) return std::stol(text);
    std::tm t = {};
    std::istringstream in(text);
    in >> std::get_time(&t, "%Y-%m-%dT%H:%M:%S");
    if (in.fail()) throw std::runtime_error("not a time: " + text);
    return static_cast<long>(_mkgmtime(&t));
}

std::string TimeText(long seconds) {
    const std::time_t t = seconds;
    std::tm utc = {};
    gmtime_s(&utc, &t);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void PrintHeader(const std::vector<std::string>& names, bool withTime) {
    std::string line = withTime ? "time" : "";
    for (std::size_t i = 0; i < names.size(); ++i) line += (withTime || i ? "," : "") + names[i];
    std::printf("%s\n", line.c_str());
}

int Current(const KestiLibrary& dll, const std::vector<std::string>& names) {
    Connection connection(dll);
    const auto tags = connection.Find(names);
    VectorHandle row = nullptr;
    if (dll.kesti2_connectionReadCurrentData(connection.Handle(), tags.data(), static_cast<uint32_t>(tags.size()), &row) != ResultOk)
        throw std::runtime_error("the read failed (see the plug-in's log)");
    PrintHeader(names, false);
    std::string line;
    for (uint32_t i = 0; i < tags.size(); ++i) line += (i ? "," : "") + CsvCell(dll, row, i);
    std::printf("%s\n", line.c_str());
    dll.kesti2_vectorFree(row);
    return 0;
}

int History(const KestiLibrary& dll, const std::vector<std::string>& args) {
    if (args.size() < 4) throw std::runtime_error("history START STEP ROWS TAG...");
    const long start = ParseTime(args[0]);
    const long step = std::stol(args[1]);
    const auto rows = static_cast<uint32_t>(std::stoul(args[2]));
    const std::vector<std::string> names(args.begin() + 3, args.end());
    Connection connection(dll);
    const auto tags = connection.Find(names);
    std::vector<VectorHandle> out(rows);
    if (dll.kesti2_connectionReadHistoricalDataEx(connection.Handle(), tags.data(), static_cast<uint32_t>(tags.size()),
                                                  start, step, rows, out.data()) != ResultOk)
        throw std::runtime_error("the read failed (see the plug-in's log)");
    PrintHeader(names, true);
    for (uint32_t r = 0; r < rows; ++r) {
        std::string line = TimeText(start + static_cast<long>(r) * step);
        for (uint32_t i = 0; i < tags.size(); ++i) line += "," + CsvCell(dll, out[r], i);
        std::printf("%s\n", line.c_str());
        dll.kesti2_vectorFree(out[r]);
    }
    return 0;
}

int Write(const KestiLibrary& dll, const std::vector<std::string>& args) {
    if (args.size() < 3) throw std::runtime_error("write START STEP TAG... < rows.csv");
    const long start = ParseTime(args[0]);
    const long step = std::stol(args[1]);
    const std::vector<std::string> names(args.begin() + 2, args.end());
    Connection connection(dll);
    const auto tags = connection.Find(names);
    std::vector<VectorHandle> rows;
    for (std::string line; std::getline(std::cin, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        VectorHandle row = nullptr;
        dll.kesti2_vectorCreate(static_cast<uint32_t>(tags.size()), &row);
        std::istringstream cells(line);
        std::string cell;
        for (uint32_t i = 0; i < tags.size() && std::getline(cells, cell, ','); ++i) {
            if (cell.empty()) continue;
            char* end = nullptr;
            const float value = std::strtof(cell.c_str(), &end);
            if (end != cell.c_str() && *end == '\0') dll.kesti2_vectorSetFloat(row, i, value);
            else dll.kesti2_vectorSetString(row, i, cell.c_str());
        }
        rows.push_back(row);
    }
    KestiResult result = ResultOk;
    if (!rows.empty())
        result = dll.kesti2_connectionWriteHistoricalDataEx(connection.Handle(), tags.data(), static_cast<uint32_t>(tags.size()),
                                                            start, step, static_cast<uint32_t>(rows.size()), rows.data());
    for (VectorHandle row : rows) dll.kesti2_vectorFree(row);
    std::printf("wrote %zu row(s): result %u\n", rows.size(), result);
    return result == ResultOk ? 0 : 1;
}

std::wstring Widen(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length - 1 : 0), L'\0');
    if (length > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    return wide;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::wstring dllPath = KestiLibrary::BesideThisProgram();
    if (args.size() >= 2 && args[0] == "--dll") {
        dllPath = Widen(args[1].c_str());
        args.erase(args.begin(), args.begin() + 2);
    }
    const std::string command = args.empty() ? "identity" : args[0];
    if (!args.empty()) args.erase(args.begin());
    try {
        KestiLibrary dll(dllPath);
        dll.kesti2_initialize();
        int status = 2;
        if (command == "identity") {
            StringHandle identity = nullptr;
            dll.kesti2_getIdentity(&identity);
            std::printf("%s\n", TakeString(dll, identity).c_str());
            status = 0;
        } else if (command == "configure") {
            status = Configure(args);
        } else if (command == "configure-ui") {
            int host = 0;
            StringHandle out = nullptr;
            status = dll.kesti2_updateConfiguration(&host, &out);
            if (status == ResultOk) TakeString(dll, out);
            std::printf("the configuration dialogs have closed (result %d)\n", status);
        } else if (command == "tree") {
            std::printf("%s", Connection(dll).Tree().c_str());
            status = 0;
        } else if (command == "current") {
            status = Current(dll, args);
        } else if (command == "history") {
            status = History(dll, args);
        } else if (command == "write") {
            status = Write(dll, args);
        } else {
            std::fprintf(stderr, "kesti-host: unknown command %s\n", command.c_str());
        }
        dll.kesti2_uninitialize();
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kesti-host: %s\n", e.what());
        return 1;
    }
}
