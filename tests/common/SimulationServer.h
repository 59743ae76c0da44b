#pragma once
// Drives the out-of-process simulation server from a test: writes its data file, points the
// server at it (and at a journal) through its registry settings, and reads the journal back.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/RegistryKey.h"

namespace kesti::test {

// {4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}
constexpr CLSID kSimulationServerClsid = {0x4A5B6C7D, 0x1E2F, 0x4A3B, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};
constexpr const char* kSimulationServerUrl = "opchda://localhost/OpcHdaSim.Server/{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}";

class SimulationServer {
public:
    // A data file of the given JSON text in a folder of its own; the journal beside it.
    explicit SimulationServer(const std::string& json) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        static int counter = 0;
        folder_ = std::string(temp) + "kesti-sim-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(GetTickCount64()) + "-" + std::to_string(++counter);
        CreateDirectoryA(folder_.c_str(), nullptr);
        dataFile_ = folder_ + "\\data.json";
        journal_ = folder_ + "\\journal.txt";
        std::ofstream(dataFile_, std::ios::binary) << json;
        SetSetting("DataFile", dataFile_);
        SetSetting("Journal", journal_);
    }
    ~SimulationServer() {
        DeleteFileA(dataFile_.c_str());
        DeleteFileA(WritesFile().c_str());
        DeleteFileA(journal_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    SimulationServer(const SimulationServer&) = delete;
    SimulationServer& operator=(const SimulationServer&) = delete;

    std::vector<std::string> JournalLines() const {
        std::ifstream in(journal_, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    // Lines of one call ("ReadRaw", "GetItemHandles", ...).
    std::vector<std::string> Calls(const std::string& call) const {
        std::vector<std::string> found;
        for (const std::string& line : JournalLines())
            if (line == call || line.rfind(call + " ", 0) == 0) found.push_back(line);
        return found;
    }
    const std::string& DataFile() const { return dataFile_; }
    // Where the server keeps what clients wrote.
    std::string WritesFile() const { return dataFile_ + ".writes"; }

    // Runs opchda-sim.exe (beside the test program) with these arguments under this data file's
    // settings and gives its exit code.
    static DWORD RunProgram(const std::string& arguments) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string program(path);
        program = program.substr(0, program.find_last_of("\\/") + 1) + "opchda-sim.exe";
        std::string command = "\"" + program + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return static_cast<DWORD>(-1);
        WaitForSingleObject(process.hProcess, 30000);
        DWORD code = static_cast<DWORD>(-1);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }

    // Ends the process of the newest activation, as a crash or a restart of the server
    // would, and waits until it is gone.
    bool EndNewestProcess() const {
        DWORD pid = 0;
        for (const std::string& line : Calls("Activate"))
            if (line.rfind("Activate pid=", 0) == 0) pid = std::stoul(line.substr(13));
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (pid == 0 || process == nullptr) return false;
        const bool ended = TerminateProcess(process, 1) && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
        CloseHandle(process);
        return ended;
    }
    // Replaces the data file (an unusable one makes every activation fail).
    void RewriteDataFile(const std::string& json) const { std::ofstream(dataFile_, std::ios::binary) << json; }

private:
    static void SetSetting(const char* name, const std::string& value) {
        const auto key = platform::RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Norvane\\OpcHdaSim", KEY_SET_VALUE);
        RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }

    std::string folder_, dataFile_, journal_;
};

} // namespace kesti::test
