#include "Chaos.h"

#include <algorithm>
#include <cwchar>

namespace kesti::chaos {

namespace {

const wchar_t kSettingsKey[] = L"Software\\Norvane\\OpcHdaChaos";

} // namespace

Chaos::Chaos(uint32_t seed, const std::wstring& journalPath) : seed_(seed), random_(seed) {
    hostility_ = Real(0.02, 0.6);
    slowness_ = Chance(0.6) ? 0.0 : Real(0.0, 0.25);
    if (!journalPath.empty()) journal_.reset(_wfopen(journalPath.c_str(), L"ab"));
    char text[160];
    std::snprintf(text, sizeof text, "activate pid=%lu seed=%u hostility=%.3f slowness=%.3f",
                  static_cast<unsigned long>(GetCurrentProcessId()), seed_, hostility_, slowness_);
    WriteLine(text);
}

bool Chaos::Hostile(double weight) { return Chance(weight * hostility_); }

bool Chaos::Chance(double probability) { return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < probability; }

int Chaos::Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

uint32_t Chaos::Bits32() { return static_cast<uint32_t>(random_()); }

uint64_t Chaos::Bits64() { return (static_cast<uint64_t>(random_()) << 32) | random_(); }

double Chaos::Real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random_); }

void Chaos::WriteLine(const std::string& line) {
    if (!journal_) return;
    std::fwrite(line.data(), 1, line.size(), journal_.get());
    std::fputc('\n', journal_.get());
    std::fflush(journal_.get());
}

// Mostly none; a slow seed waits up to a second now and then, and rarely two to five, until
// its budget is spent.
uint32_t Chaos::DelayMs() {
    uint32_t delay = 0;
    if (Chance(slowness_ / 10)) delay = static_cast<uint32_t>(Between(2000, 5000));
    else if (Chance(slowness_)) delay = static_cast<uint32_t>(Between(1, 1000));
    delay = std::min(delay, delayBudgetMs_);
    delayBudgetMs_ -= delay;
    return delay;
}

Chaos::Call::Call(Chaos& chaos, const char* name) : chaos_(chaos), lock_(chaos.mutex_) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f", static_cast<double>(GetTickCount64() - chaos_.started_) / 1000);
    line_ = "#" + std::to_string(++chaos_.calls_) + " " + stamp + "s " + name;
    const uint32_t delay = chaos_.DelayMs();
    if (delay > 0) {
        Note("delay " + std::to_string(delay) + " ms");
        lock_.unlock();
        Sleep(delay);
        lock_.lock();
    }
}

Chaos::Call::~Call() {
    chaos_.WriteLine(line_ + " -> " + Hex(static_cast<uint32_t>(result_)));
}

void Chaos::Call::Note(const std::string& text) { line_ += " | " + text; }

uint32_t SeedSetting() {
    DWORD number = 0;
    DWORD size = sizeof number;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"Seed", RRF_RT_REG_DWORD, nullptr, &number, &size) ==
        ERROR_SUCCESS)
        return number;
    wchar_t text[32] = {};
    size = sizeof text;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"Seed", RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS)
        return static_cast<uint32_t>(std::wcstoul(text, nullptr, 10));
    return 1;
}

std::wstring JournalSetting() {
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"Journal", RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
        return L"";
    return path;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// A name as the journal shows it: printable ASCII as it is, anything else as \uXXXX, cut short.
std::string Narrow(const std::wstring& text, std::size_t most) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < most; ++i) {
        const wchar_t c = text[i];
        if (c >= 0x20 && c < 0x7F && c != L'\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    if (text.size() > most) out += "...(" + std::to_string(text.size()) + " chars)";
    return out;
}

} // namespace kesti::chaos
