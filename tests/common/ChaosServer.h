#pragma once
// Points the chaos server (tools/opchda-chaos) at a seed and a journal through its registry
// settings, for the activations that follow. The journal (one line per call: what the server
// chose and answered) stays on disk unless the seed is let go as passed, so that a seed that
// failed, or took the test process down, can be explained.
#include <fstream>
#include <string>

#include <windows.h>

#include "platform/RegistryKey.h"

namespace kesti::test {

// {6C3E2A91-7B4D-4F1E-9A2C-5D8E0F1B3C47}
constexpr const char* kChaosServerUrl = "opchda://localhost/OpcHdaChaos.Server/{6C3E2A91-7B4D-4F1E-9A2C-5D8E0F1B3C47}";

class ChaosServerSeed {
public:
    explicit ChaosServerSeed(unsigned seed) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        journal_ = std::string(temp) + "kesti-chaos-seed-" + std::to_string(seed) + ".journal";
        DeleteFileA(journal_.c_str());
        const auto key = platform::RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Norvane\\OpcHdaChaos", KEY_SET_VALUE);
        const DWORD number = seed;
        RegSetValueExA(key.Get(), "Seed", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
        RegSetValueExA(key.Get(), "Journal", 0, REG_SZ, reinterpret_cast<const BYTE*>(journal_.c_str()),
                       static_cast<DWORD>(journal_.size() + 1));
    }
    ~ChaosServerSeed() {
        if (!keep_) DeleteFileA(journal_.c_str());
    }
    ChaosServerSeed(const ChaosServerSeed&) = delete;
    ChaosServerSeed& operator=(const ChaosServerSeed&) = delete;

    void KeepJournal() { keep_ = true; }
    const std::string& JournalPath() const { return journal_; }

private:
    std::string journal_;
    bool keep_ = false;
};

} // namespace kesti::test
