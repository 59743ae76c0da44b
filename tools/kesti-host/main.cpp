// kesti-host: a command-line host program for OpcHDAKesti.dll. It loads the DLL by path, as a
// real host does, and drives it through its exports. `kesti-host --help` tells how.
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include "Arguments.h"
#include "HostConnection.h"
#include "PluginLog.h"

using namespace kesti::host;

namespace {

using Arguments = std::vector<std::string>;

// Exit codes: the plug-in's own results 1 and 2, then the host's.
constexpr int kExitDone = 0;
constexpr int kExitCommandLine = 3;

struct Command {
    const char* name;
    const char* synopsis;
    const char* summary;
    std::size_t minimumArguments;
    int (*run)(const KestiLibrary& dll, const Arguments& args);
};

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

std::string TimeText(int32_t seconds) {
    const std::time_t t = seconds;
    std::tm utc = {};
    gmtime_s(&utc, &t);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void PrintHeader(const Arguments& names, bool withTime) {
    std::string line = withTime ? "time" : "";
    for (std::size_t i = 0; i < names.size(); ++i) line += (withTime || i ? "," : "") + names[i];
    std::printf("%s\n", line.c_str());
}

int Identity(const KestiLibrary& dll, const Arguments&) {
    StringHandle identity = nullptr;
    Check(dll.kesti2_getIdentity(&identity), "asking for the identity");
    std::printf("%s\n", TakeString(dll, identity).c_str());
    return kExitDone;
}

int Configure(const KestiLibrary&, const Arguments& args) {
    const std::string folder = PluginDataFolder();
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    const std::string path = folder + "\\OPCHDAConfiguration.xml";
    std::ofstream file(path, std::ios::binary);
    file << "<?xml version=\"1.0\"?>\n<settings>\n\t<setting key=\"URL\" value=\"" << XmlEscaped(args[0]) << "\" />\n\t<nodes>\n";
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool all = args[i] == "OPC";
        file << "\t\t<setting key=\"Node_" << i - 1 << "_0\" value=\"" << XmlEscaped(args[i]) << "\" />\n"
             << "\t\t<setting key=\"Node_" << i - 1 << "_1\" value=\"" << (all ? "" : XmlEscaped(args[i])) << "\" />\n";
    }
    file << "\t</nodes>\n</settings>\n";
    file.close();
    if (!file) {
        std::fprintf(stderr, "kesti-host: the configuration file %s could not be written\n", path.c_str());
        return ResultFailed;
    }
    std::printf("configured %s with %zu node(s) in %s\n", args[0].c_str(), args.size() - 1, path.c_str());
    return kExitDone;
}

int ConfigureUi(const KestiLibrary& dll, const Arguments&) {
    int host = 0;
    StringHandle out = nullptr;
    Check(dll.kesti2_updateConfiguration(&host, &out), "opening the configuration dialogs");
    TakeString(dll, out);
    std::printf("the configuration dialogs have closed\n");
    return kExitDone;
}

int Tree(const KestiLibrary& dll, const Arguments&) {
    std::printf("%s", HostConnection(dll).Tree().c_str());
    return kExitDone;
}

int Current(const KestiLibrary& dll, const Arguments& names) {
    HostConnection connection(dll);
    const auto tags = connection.Find(names);
    VectorHandle row = nullptr;
    Check(dll.kesti2_connectionReadCurrentData(connection.Handle(), tags.data(), static_cast<uint32_t>(tags.size()), &row),
          "the read of current values");
    PrintHeader(names, false);
    std::string line;
    for (uint32_t i = 0; i < tags.size(); ++i) line += (i ? "," : "") + CsvCell(dll, row, i);
    std::printf("%s\n", line.c_str());
    dll.kesti2_vectorFree(row);
    return kExitDone;
}

int History(const KestiLibrary& dll, const Arguments& args) {
    const int32_t start = ParseTime("START", args[0]);
    const int32_t step = ParseWhole("STEP", args[1]);
    const uint32_t rows = ParseCount("ROWS", args[2]);
    const Arguments names(args.begin() + 3, args.end());
    HostConnection connection(dll);
    const auto tags = connection.Find(names);
    std::vector<VectorHandle> out(rows);
    Check(dll.kesti2_connectionReadHistoricalDataEx(connection.Handle(), tags.data(), static_cast<uint32_t>(tags.size()),
                                                    start, step, rows, out.data()),
          "the read of history");
    PrintHeader(names, true);
    for (uint32_t r = 0; r < rows; ++r) {
        std::string line = TimeText(start + static_cast<int32_t>(r) * step);
        for (uint32_t i = 0; i < tags.size(); ++i) line += "," + CsvCell(dll, out[r], i);
        std::printf("%s\n", line.c_str());
        dll.kesti2_vectorFree(out[r]);
    }
    return kExitDone;
}

// One row to write: a quoted cell is text, an unquoted one a number if it reads whole as one,
// an empty one is left out.
VectorHandle RowOf(const KestiLibrary& dll, const std::string& line, std::size_t lineNumber, uint32_t tagCount,
                   std::size_t& values) {
    std::vector<bool> quoted;
    const auto cells = SplitCsvLine(line, &quoted);
    if (cells.size() > tagCount)
        throw UsageError("line " + std::to_string(lineNumber) + " of the rows has " + std::to_string(cells.size()) +
                         " cells: expected at most one per TAG (" + std::to_string(tagCount) + ")");
    VectorHandle row = nullptr;
    dll.kesti2_vectorCreate(tagCount, &row);
    for (uint32_t i = 0; i < cells.size(); ++i) {
        if (cells[i].empty() && !quoted[i]) continue;
        ++values;
        char* end = nullptr;
        const float value = std::strtof(cells[i].c_str(), &end);
        if (!quoted[i] && end != cells[i].c_str() && *end == '\0') dll.kesti2_vectorSetFloat(row, i, value);
        else dll.kesti2_vectorSetString(row, i, cells[i].c_str());
    }
    return row;
}

// What this run's records of the plug-in say was not stored: values the server refused (per
// item of a row, or a tag whose handle it refused), rows lost and arrays not written.
// The Error records of a write that lost what the host gave: a row (the call failed, its
// values could not be allocated) or the rows of an array.
bool IsLostWrite(const std::string& text) {
    for (const char* start : {"IOPCHDA_SyncUpdate::InsertReplace failed", "Array tag ", "SafeArrayCreate failed",
                              "SafeArrayPutElement failed", "SysAllocString failed"})
        if (text.rfind(start, 0) == 0) return true;
    return false;
}

struct WriteRefusals {
    std::size_t refusedValues = 0;
    std::size_t refusedTags = 0;
    std::size_t errors = 0;
    std::string lastRecord;

    explicit WriteRefusals(const PluginLog& log) {
        for (const LogRecord& record : log.RecordsSinceStart()) {
            const std::string& text = record.text;
            if (text.rfind("IOPCHDA_SyncUpdate::InsertReplace partially failed:", 0) == 0) {
                std::size_t items = 0;
                for (std::size_t at = text.find("\nItem "); at != std::string::npos; at = text.find("\nItem ", at + 1))
                    ++items;
                refusedValues += items > 0 ? items : 1; // without item lines the server did not say which
            } else if (text.find(" is not written: the server refused its item handle.") != std::string::npos) {
                ++refusedTags;
            } else if (record.level == "Error" && IsLostWrite(text)) {
                ++errors;
            } else {
                continue;
            }
            lastRecord = record.header + "\n" + text;
        }
    }
    bool Any() const { return refusedValues + refusedTags + errors > 0; }
};

int Write(const KestiLibrary& dll, const Arguments& args) {
    const PluginLog log;
    const int32_t start = ParseTime("START", args[0]);
    const int32_t step = ParseWhole("STEP", args[1]);
    const Arguments names(args.begin() + 2, args.end());
    HostConnection connection(dll);
    const auto tags = connection.Find(names);
    struct Rows {
        const KestiLibrary& dll;
        std::vector<VectorHandle> handles;
        ~Rows() {
            for (VectorHandle row : handles) dll.kesti2_vectorFree(row);
        }
    } rows{dll, {}};
    std::size_t values = 0;
    std::size_t lineNumber = 0;
    // Every line is a row, a blank one too (none of its cells is written): row r is always
    // written at START + r x STEP.
    for (std::string line; std::getline(std::cin, line);) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        rows.handles.push_back(RowOf(dll, line, lineNumber, static_cast<uint32_t>(tags.size()), values));
    }
    if (!rows.handles.empty())
        Check(dll.kesti2_connectionWriteHistoricalDataEx(connection.Handle(), tags.data(), static_cast<uint32_t>(tags.size()),
                                                         start, step, static_cast<uint32_t>(rows.handles.size()),
                                                         rows.handles.data()),
              "the write");
    const WriteRefusals refusals(log);
    if (const int level = PluginLog::ConfiguredLevel(); level < 2)
        std::fprintf(stderr, "kesti-host: the plug-in's LogLevel %d keeps no Warning records: refused values are not "
                             "counted\n", level);
    std::printf("sent %zu row(s) with %zu value(s); the server refused %zu value(s)\n", rows.handles.size(), values,
                refusals.refusedValues);
    if (!refusals.Any()) return kExitDone;
    std::fprintf(stderr,
                 "kesti-host: not everything was stored: %zu value(s) refused, %zu tag(s) refused, %zu error(s); "
                 "the plug-in's log (%s) says last:\n%s\n",
                 refusals.refusedValues, refusals.refusedTags, refusals.errors, PluginLog::Path().c_str(),
                 refusals.lastRecord.c_str());
    return ResultFailed;
}

const Command kCommands[] = {
    {"identity", "", "prints the plug-in's identity text", 0, Identity},
    {"configure", "URL NODE [NODE ...]",
     "writes the plug-in's configuration file: the server's URL and the nodes to browse\n"
     "      (NODE: a branch's item id, or OPC for the whole server)",
     2, Configure},
    {"configure-ui", "", "opens the plug-in's configuration dialogs, as a host's configuration command does", 0, ConfigureUi},
    {"tree", "", "prints the tree of nodes and tags", 0, Tree},
    {"current", "TAG [TAG ...]", "prints the current values as CSV", 1, Current},
    {"history", "START STEP ROWS TAG [TAG ...]", "prints ROWS rows, STEP seconds apart from START, as CSV", 4, History},
    {"write", "START STEP TAG [TAG ...] < rows.csv",
     "writes the rows read from standard input, STEP seconds apart from START: one CSV line\n"
     "      per row, one cell per TAG, no time column; an empty cell or a blank line is not\n"
     "      written (its time is kept), a quoted cell is text; exit code 1 when the server\n"
     "      refused a value or a row was lost",
     3, Write},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: kesti-host [--dll PATH] COMMAND [ARGUMENT ...]\n"
                 "       kesti-host --help | --version\n\n"
                 "Loads OpcHDAKesti.dll (PATH, or the DLL beside this program or in the folder above it) and\n"
                 "drives it through its exports, as a host program does.\n\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %s%s%s\n      %s\n", c.name, *c.synopsis ? " " : "", c.synopsis, c.summary);
    std::fprintf(out,
                 "\nTAG: a tag's name, or NODE/NAME where names repeat. START: seconds since 1970 or\n"
                 "yyyy-mm-ddThh:mm:ss (UTC). STEP: seconds.\n\n"
                 "exit codes: 0 done; 1 failed (a call of the plug-in, whose log tells why, or loading\n"
                 "the DLL or writing the configuration); 2 the plug-in refused an argument; 3 the\n"
                 "command line was not understood.\n");
}

void PrintCommandUsage(const Command& c) {
    std::fprintf(stderr, "usage: kesti-host %s %s\n(kesti-host --help tells more)\n", c.name, c.synopsis);
}

// What the user learns from a failed call: the log and the Error record this run wrote.
void ReportFailure(const CallFailed& failure, const PluginLog& log) {
    std::fprintf(stderr, "kesti-host: %s\n", failure.what());
    if (failure.Result() == ResultInvalidArgument)
        std::fprintf(stderr, "the plug-in takes no negative time or step and at least one row, tag and value\n");
    std::fprintf(stderr, "the plug-in's log: %s\n", PluginLog::Path().c_str());
    const std::string record = log.LastErrorSinceStart();
    if (!record.empty()) std::fprintf(stderr, "its last Error record:\n%s\n", record.c_str());
}

std::wstring Widen(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length - 1 : 0), L'\0');
    if (length > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    return wide;
}

int RunCommand(const Command& command, const std::wstring& dllPath, const Arguments& args) {
    const PluginLog log;
    try {
        KestiLibrary dll(dllPath);
        Check(dll.kesti2_initialize(), "the plug-in's initialisation");
        struct Uninitialize {
            const KestiLibrary& dll;
            ~Uninitialize() { dll.kesti2_uninitialize(); }
        } uninitialize{dll};
        const int status = command.run(dll, args);
        // The plug-in goes on past a node's failed read or a row's failed write (the cells stay
        // missing, the row is lost) and says so in its log only: the user hears of it here.
        const std::string record = status == kExitDone ? log.LastErrorSinceStart() : std::string();
        if (!record.empty())
            std::fprintf(stderr, "kesti-host: done, but the plug-in logged an error (%s):\n%s\n",
                         PluginLog::Path().c_str(), record.c_str());
        return status;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "kesti-host: %s\n", e.what());
        PrintCommandUsage(command);
        return kExitCommandLine;
    } catch (const CallFailed& failure) {
        ReportFailure(failure, log);
        return static_cast<int>(failure.Result());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kesti-host: %s\n", e.what());
        return ResultFailed;
    }
}

} // namespace

int main(int argc, char** argv) {
    Arguments args(argv + 1, argv + argc);
    std::wstring dllPath = KestiLibrary::NearThisProgram();
    if (!args.empty() && args[0] == "--dll") {
        if (args.size() < 2) {
            std::fprintf(stderr, "kesti-host: --dll needs the DLL's PATH\n");
            return kExitCommandLine;
        }
        dllPath = Widen(args[1]);
        args.erase(args.begin(), args.begin() + 2);
    }
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "/?")) {
        PrintUsage(stdout);
        return kExitDone;
    }
    if (!args.empty() && args[0] == "--version") {
        std::printf("kesti-host %s\n", KESTI_VERSION_TEXT);
        return kExitDone;
    }
    if (args.empty()) {
        std::fprintf(stderr, "kesti-host: no command given\n");
        PrintUsage(stderr);
        return kExitCommandLine;
    }
    const std::string name = args[0];
    args.erase(args.begin());
    for (const Command& command : kCommands) {
        if (name != command.name) continue;
        if (args.size() < command.minimumArguments) {
            std::fprintf(stderr, "kesti-host: %s needs %s\n", command.name, command.synopsis);
            PrintCommandUsage(command);
            return kExitCommandLine;
        }
        return RunCommand(command, dllPath, args);
    }
    std::fprintf(stderr, "kesti-host: unknown command \"%s\"\n", name.c_str());
    PrintUsage(stderr);
    return kExitCommandLine;
}
