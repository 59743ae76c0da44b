// The command-line host (kesti-host.exe) as a user meets it: its usage, its messages for a
// wrong command line, for an argument the plug-in refuses and for a failed call, and a write
// and read of CSV through the real DLL into the simulation server.
#include "dll/ConnectionFixture.h"

namespace kesti::test {
namespace {

struct HostRun {
    DWORD exitCode = static_cast<DWORD>(-1);
    std::string out, err;
};

// A file the child inherits as one of its standard handles.
class InheritedFile {
public:
    InheritedFile(const std::string& path, bool forWriting) : path_(path) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        handle_ = CreateFileA(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~InheritedFile() {
        CloseHandle(handle_);
        DeleteFileA(path_.c_str());
    }
    HANDLE Get() const { return handle_; }
    std::string Read() const { return ReadFileBytes(path_); }

private:
    std::string path_;
    HANDLE handle_;
};

class HostProgramTest : public ConnectionTest {
protected:
    // Runs kesti-host.exe beside the test program with `input` on its standard input.
    static HostRun RunHost(const std::string& arguments, const std::string& input = "") {
        char temp[MAX_PATH] = {}, module[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        GetModuleFileNameA(nullptr, module, MAX_PATH);
        const std::string base = std::string(temp) + "kesti-host-run-" + std::to_string(GetCurrentProcessId());
        std::ofstream(base + ".in", std::ios::binary) << input;
        const InheritedFile in(base + ".in", false), out(base + ".out", true), err(base + ".err", true);
        std::string program(module);
        program = program.substr(0, program.find_last_of('\\') + 1) + "kesti-host.exe";
        std::string command = "\"" + program + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.Get();
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        PROCESS_INFORMATION process{};
        HostRun run;
        if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
            return run;
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        run.out = WithoutCarriageReturns(out.Read());
        run.err = WithoutCarriageReturns(err.Read());
        return run;
    }

    // The host writes its lines as a Windows program does, ending in "\r\n".
    static std::string WithoutCarriageReturns(const std::string& text) {
        std::string lines;
        for (char c : text)
            if (c != '\r') lines += c;
        return lines;
    }

    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

const char* const kPlant = R"({ "branches": [ { "name": "P", "items": [
    { "name": "a", "values": [ { "time": "2024-01-01 00:00:00", "value": 1 } ] },
    { "name": "b", "type": "VT_BSTR" } ] } ] })";

TEST_F(HostProgramTest, HelpAndAWrongCommandLineShowTheUsage) {
    const HostRun help = RunHost("--help");
    EXPECT_EQ(help.exitCode, 0u);
    for (const char* command : {"identity", "configure URL NODE", "configure-ui", "tree", "current TAG",
                                "history START STEP ROWS TAG", "write START STEP TAG", "exit codes"})
        EXPECT_TRUE(Has(help.out, command)) << command << "\n" << help.out;

    for (const char* wrong : {"", "frobnicate"}) {
        const HostRun run = RunHost(wrong);
        EXPECT_EQ(run.exitCode, 3u) << wrong;
        EXPECT_TRUE(Has(run.err, "usage: kesti-host [--dll PATH] COMMAND")) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    EXPECT_TRUE(Has(RunHost("frobnicate").err, "unknown command \"frobnicate\""));

    const HostRun badTime = RunHost("history abc 60 5 P.a");
    EXPECT_EQ(badTime.exitCode, 3u);
    EXPECT_TRUE(Has(badTime.err, "START \"abc\" is not a time: expected seconds since 1970 or yyyy-mm-ddThh:mm:ss"))
        << badTime.err;
    EXPECT_TRUE(Has(badTime.err, "usage: kesti-host history START STEP ROWS TAG"));
    EXPECT_TRUE(Has(RunHost("history 0 1.5 5 P.a").err, "STEP \"1.5\" is not a whole number of seconds"));
    EXPECT_TRUE(Has(RunHost("history 0 60 0 P.a").err, "ROWS \"0\" is not a count"));
    EXPECT_EQ(RunHost("current").exitCode, 3u) << "a command without its arguments";
}

// The version of the build (project VERSION), which the DLL's version resource carries too.
TEST_F(HostProgramTest, TheHostSaysTheVersionOfTheBuild) {
    const HostRun version = RunHost("--version");
    EXPECT_EQ(version.exitCode, 0u);
    EXPECT_EQ(version.out, std::string("kesti-host ") + KESTI_VERSION_TEXT + "\n");
}

TEST_F(HostProgramTest, ARefusedArgumentIsToldFromAFailedCall) {
    SimulationServer sim(kPlant);
    WriteConfiguration("opchda://localhost/NoSuch.Server/{00000000-1111-2222-3333-444444444444}", {{"P", "P"}});
    const HostRun failed = RunHost("tree");
    EXPECT_EQ(failed.exitCode, 1u);
    EXPECT_TRUE(Has(failed.err, "kesti-host: opening the connection failed (result 1)")) << failed.err;
    EXPECT_TRUE(Has(failed.err, "the plug-in's log: " + MachineDataFolder() + "\\OPCHDAKestiLog.log")) << failed.err;
    EXPECT_TRUE(Has(failed.err, "its last Error record:\n[")) << failed.err;
    EXPECT_TRUE(Has(failed.err, "[Error]\nkesti2_connectionOpen: Operation failed")) << failed.err;

    WriteConfiguration(kSimulationServerUrl, {{"P", "P"}});
    const HostRun refused = RunHost("history 1704067200 -60 2 P.a");
    EXPECT_EQ(refused.exitCode, 2u);
    EXPECT_TRUE(Has(refused.err, "the plug-in refused an argument of the read of history (result 2)")) << refused.err;
    EXPECT_TRUE(Has(refused.err, "the plug-in's log: ")) << refused.err;
    EXPECT_FALSE(Has(refused.err, "Error record")) << "the open's failure belongs to the run before:\n" << refused.err;
    EXPECT_TRUE(refused.out.empty()) << refused.out;

    const HostRun unknownTag = RunHost("current P.nope");
    EXPECT_EQ(unknownTag.exitCode, 3u);
    EXPECT_TRUE(Has(unknownTag.err, "TAG \"P.nope\" is not in the tree")) << unknownTag.err;
}

// The plug-in's read ends with result 0 when a node's ReadRaw fails (its cells stay missing);
// the host still tells the user what the log says.
TEST_F(HostProgramTest, AnErrorThePluginOnlyLogsIsToldToo) {
    SimulationServer sim(R"({ "server": { "failCalls": { "ReadRaw": "0x80004005" } }, "branches": [ { "name": "P",
        "items": [ { "name": "a", "values": [ { "time": "2024-01-01 00:00:00", "value": 1 } ] } ] } ] })");
    WriteConfiguration(kSimulationServerUrl, {{"P", "P"}});
    const HostRun read = RunHost("history 1704067200 60 2 P.a");
    EXPECT_EQ(read.exitCode, 0u) << read.err;
    EXPECT_EQ(read.out, "time,P.a\n2024-01-01T00:00:00Z,\n2024-01-01T00:01:00Z,\n");
    EXPECT_TRUE(Has(read.err, "kesti-host: done, but the plug-in logged an error (" + MachineDataFolder() +
                                  "\\OPCHDAKestiLog.log):\n["))
        << read.err;
    EXPECT_TRUE(Has(read.err, "IOPCHDA_SyncRead::ReadRaw")) << read.err;

    EXPECT_TRUE(RunHost("tree").err.empty()) << "a run without errors says nothing more";
}

// Quoted cells are text (with their commas and quotes), empty cells are not written, a blank
// line is a row of its own, and what history prints reads back the same.
TEST_F(HostProgramTest, RowsWrittenFromCsvReadBackAsCsv) {
    SimulationServer sim(kPlant);
    WriteConfiguration(kSimulationServerUrl, {{"P", "P"}});
    const HostRun write = RunHost("write 2024-01-01T01:00:00Z 60 P.a P.b", "2.5,\"x, \"\"y\"\"\"\r\n,\"7\"\n\n3.25\n");
    EXPECT_EQ(write.exitCode, 0u) << write.err;
    EXPECT_EQ(write.out, "sent 4 row(s) with 4 value(s); the server refused 0 value(s)\n");
    const auto calls = sim.Calls("InsertReplace");
    ASSERT_EQ(calls.size(), 3u) << "the blank line sends nothing";
    EXPECT_TRUE(Has(calls[1], "count=1 handles=[2] times=[133485444600000000] values=[vt8:7]"))
        << "the empty cell is not sent, the quoted number is text: " << calls[1];
    EXPECT_TRUE(Has(calls[2], "times=[133485445800000000] values=[vt4:3.25]")) << "01:03, after the blank 01:02: " << calls[2];

    const HostRun read = RunHost("history 1704070800 60 4 P.a P.b");
    EXPECT_EQ(read.exitCode, 0u) << read.err;
    EXPECT_EQ(read.out, "time,P.a,P.b\n"
                        "2024-01-01T01:00:00Z,2.5,\"x, \"\"y\"\"\"\n"
                        "2024-01-01T01:01:00Z,2.5,\"7\"\n"
                        "2024-01-01T01:02:00Z,2.5,\"7\"\n"
                        "2024-01-01T01:03:00Z,3.25,\"7\"\n");

    const HostRun tooMany = RunHost("write 1704070800 60 P.a", "1,2\n");
    EXPECT_EQ(tooMany.exitCode, 3u);
    EXPECT_TRUE(Has(tooMany.err, "line 1 of the rows has 2 cells: expected at most one per TAG (1)")) << tooMany.err;
}

// A script learns from the exit code that something was not stored: a value the server
// refused, a tag whose handle it refused.
TEST_F(HostProgramTest, AWriteTheServerRefusesEndsWithOne) {
    SimulationServer sim(R"({ "branches": [ { "name": "P", "items": [ { "name": "a" },
        { "name": "locked", "writeError": "0x80020005" }, { "name": "gone", "handleError": "0xC0040007" } ] } ] })");
    WriteConfiguration(kSimulationServerUrl, {{"P", "P"}});
    const HostRun refused = RunHost("write 1704070800 1 P.a P.locked", "1,2\n3,4\n5\n");
    EXPECT_EQ(refused.exitCode, 1u) << refused.err;
    EXPECT_EQ(refused.out, "sent 3 row(s) with 5 value(s); the server refused 2 value(s)\n");
    EXPECT_TRUE(Has(refused.err, "kesti-host: not everything was stored: 2 value(s) refused, 0 tag(s) refused, 0 error(s)"))
        << refused.err;
    EXPECT_TRUE(Has(refused.err, "IOPCHDA_SyncUpdate::InsertReplace partially failed:\nItem P.locked failed: ")) << refused.err;

    const HostRun noHandle = RunHost("write 1704070800 1 P.a P.gone", "1,2\n");
    EXPECT_EQ(noHandle.exitCode, 1u) << noHandle.err;
    EXPECT_TRUE(Has(noHandle.err, "Tag P.gone is not written: the server refused its item handle.")) << noHandle.err;

    const HostRun stored = RunHost("write 1704070800 1 P.a", "1\n");
    EXPECT_EQ(stored.exitCode, 0u) << "the refusals of earlier runs are not this run's: " << stored.err;

    WriteConfiguration(kSimulationServerUrl, {{"P", "P"}}, "", "<setting key=\"LogLevel\" value=\"1\" />\n");
    const HostRun blind = RunHost("write 1704070800 1 P.locked", "1\n");
    EXPECT_TRUE(Has(blind.err, "the plug-in's LogLevel 1 keeps no Warning records: refused values are not counted"))
        << blind.err;
}

} // namespace
} // namespace kesti::test
