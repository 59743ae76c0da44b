#pragma once
// The seeded source of every answer of the chaos server, and its journal. One seed gives one
// sequence of draws, so a run of the same client against the same seed replays. Each seed
// also draws how hostile it is (most answers of a mild seed are sound; a wild one lies often)
// and how slow, so that a run of many seeds reaches deep into a client as well as its edges.
//
// Every call of the server opens a Call: it takes the lock (calls may come from several
// threads), sleeps the delay drawn for it, collects notes on what it chose and writes one
// journal line with its result when it ends, stamped with the seconds since activation.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <string>

#include <windows.h>

namespace kesti::chaos {

class Chaos {
public:
    Chaos(uint32_t seed, const std::wstring& journalPath);
    Chaos(const Chaos&) = delete;
    Chaos& operator=(const Chaos&) = delete;

    // A hostile choice of this weight: taken with probability weight times the seed's hostility.
    bool Hostile(double weight);
    bool Chance(double probability);
    int Between(int low, int high);
    uint32_t Bits32();
    uint64_t Bits64();
    double Real(double low, double high);

    uint32_t Seed() const { return seed_; }
    double Hostility() const { return hostility_; }

    // The journal: one line per call, flushed at once so that a crash of the client keeps it.
    void WriteLine(const std::string& line);

    class Call {
    public:
        Call(Chaos& chaos, const char* name);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;
        // Adds a note on a choice made for this answer.
        void Note(const std::string& text);
        HRESULT Result(HRESULT result) {
            result_ = result;
            return result;
        }

    private:
        Chaos& chaos_;
        std::unique_lock<std::mutex> lock_;
        std::string line_;
        HRESULT result_ = E_UNEXPECTED;
    };

private:
    uint32_t DelayMs();

    const uint32_t seed_;
    std::mt19937 random_;
    double hostility_;
    double slowness_;
    std::mutex mutex_;
    unsigned calls_ = 0;
    // Delays stop once this much has been slept in one process: a slow server, not a dead one.
    uint32_t delayBudgetMs_ = 20000;
    const ULONGLONG started_ = GetTickCount64();
    struct CloseFile {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, CloseFile> journal_;
};

// The seed and journal path of this user's settings (HKCU\Software\Norvane\OpcHdaChaos:
// "Seed" as REG_SZ or REG_DWORD, "Journal" as REG_SZ; no journal without it).
uint32_t SeedSetting();
std::wstring JournalSetting();

std::string Hex(uint32_t value);
std::string Narrow(const std::wstring& text, std::size_t most = 60);

} // namespace kesti::chaos
