#include <regex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TempDataFolder.h"
#include "base/ComError.h"
#include "base/Log.h"
#include "common/Files.h"

namespace kesti::test {
namespace {

using LogTest = TempDataFolderTest;

const std::string kHeader = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d\] \[TID:\d+\] )";
const std::string kNotice =
    "-------------------------------------\r\n"
    "Log file size above the limit. Old log file copied to backup file (.bak). New log file started.\r\n"
    "-------------------------------------\r\n\r\n";

TEST_F(LogTest, RecordIsHeaderMessageAndEmptyLineWithCrLf) {
    LogMessage(LogWarning, "first line\nsecond line");
    const std::string text = LogText();
    EXPECT_TRUE(std::regex_match(text, std::regex(kHeader + R"(\[Warning\]\r\nfirst line\r\nsecond line\r\n\r\n)")))
        << text;
    const std::string tid = std::to_string(GetCurrentThreadId());
    EXPECT_NE(text.find("[TID:" + tid + "]"), std::string::npos);
}

TEST_F(LogTest, EmptyMessageIsTheHeaderAndThreeLineEnds) {
    LogMessage(LogError, "");
    EXPECT_TRUE(std::regex_match(LogText(), std::regex(kHeader + R"(\[Error\]\r\n\r\n\r\n)")));
}

TEST_F(LogTest, GoesToKestiLogInTheDataFolderUntilAPrefixIsSet) {
    EXPECT_EQ(LogFilePath(), DataFolder() + "\\KestiLog.log");
    LogMessage(LogError, "before");
    SetFileNamePrefix("OPCHDA");
    LogMessage(LogError, "after");
    EXPECT_NE(ReadFileBytes(DataFolder() + "\\KestiLog.log").find("before"), std::string::npos);
    EXPECT_NE(ReadFileBytes(DataFolder() + "\\OPCHDAKestiLog.log").find("after"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(DataFolder() + "\\OPCHDAKestiLog.log").find("before"), std::string::npos);
}

TEST_F(LogTest, WithoutADataFolderTheLogIsKestiLogInTheCurrentDirectory) {
    platform::SetCommonAppDataFolderOverride(std::string());
    ResetLogState();
    SetFileNamePrefix("OPCHDA");
    EXPECT_EQ(LogFilePath(), "KestiLog.log");
}

TEST_F(LogTest, LevelFilterWritesOnlyLevelsAtOrBelowTheSetting) {
    struct Case {
        int setting;
        std::vector<int> written;
    };
    for (const Case& c : {Case{3, {0, 1, 2, 3}}, Case{0, {0}}, Case{-1, {}}, Case{7, {0, 1, 2, 3, 4, 7}}}) {
        ResetLogState();
        DeleteFileA(LogFilePath().c_str());
        SetLogLevel(c.setting);
        for (int level : {0, 1, 2, 3, 4, 7}) LogMessage(level, "level " + std::to_string(level));
        const std::string text = LogText();
        for (int level : {0, 1, 2, 3, 4, 7}) {
            const bool expected = std::find(c.written.begin(), c.written.end(), level) != c.written.end();
            EXPECT_EQ(text.find("level " + std::to_string(level) + "\r\n") != std::string::npos, expected)
                << "setting " << c.setting << ", level " << level;
        }
    }
}

TEST_F(LogTest, AFileOfExactlyTheLimitIsAppendedToAndOneByteMoreRollsOver) {
    LogMessage(LogError, "one");
    const std::uint64_t size = LogText().size();
    SetLogFileSize(size);
    LogMessage(LogError, "two");
    EXPECT_FALSE(FileExists(LogBackupPath(LogFilePath())));
    const std::string both = LogText();
    EXPECT_NE(both.find("two"), std::string::npos);

    SetLogFileSize(both.size() - 1);
    LogMessage(LogError, "three");
    const std::string backup = ReadFileBytes(LogBackupPath(LogFilePath()));
    EXPECT_EQ(backup, both);
    const std::string fresh = LogText();
    EXPECT_EQ(fresh.rfind(kNotice, 0), 0u) << fresh;
    EXPECT_NE(fresh.find("three"), std::string::npos);
    EXPECT_EQ(fresh.find("one"), std::string::npos);
}

TEST_F(LogTest, LimitZeroGivesEachNewFileTheNoticeAndOneRecordWithOneBackup) {
    SetLogFileSize(0);
    for (int i = 0; i < 4; ++i) LogMessage(LogError, "record " + std::to_string(i));
    const std::string current = LogText();
    EXPECT_EQ(current.rfind(kNotice, 0), 0u);
    EXPECT_EQ(Occurrences(current, "[Error]"), 1u);
    EXPECT_NE(current.find("record 3"), std::string::npos);
    const std::string backup = ReadFileBytes(LogBackupPath(LogFilePath()));
    EXPECT_NE(backup.find("record 2"), std::string::npos);
    EXPECT_EQ(backup.find("record 1"), std::string::npos);
}

TEST_F(LogTest, ANegativeLimitWidenedToSixtyFourBitsNeverRollsOver) {
    SetLogFileSize(static_cast<std::uint64_t>(static_cast<std::int64_t>(-1)));
    for (int i = 0; i < 20; ++i) LogMessage(LogError, std::string(200, 'x'));
    EXPECT_FALSE(FileExists(LogBackupPath(LogFilePath())));
    EXPECT_EQ(Occurrences(LogText(), "[Error]"), 20u);
}

// A server that refuses thousands of items with names of megabytes gets one record of
// bounded size: 100 items named, each name cut, the rest counted.
TEST_F(LogTest, APartialFailureOfThousandsOfItemsNamesAHundred) {
    const std::vector<HRESULT> errors(5000, E_FAIL);
    const std::string longName(100000, 'n');
    LogPartialFailure("IOPCHDA_Server::GetItemHandles", S_FALSE, errors.data(), errors.size(),
                      [&](std::size_t i) { return std::to_string(i) + longName; });
    const std::string text = LogText();
    EXPECT_EQ(Occurrences(text, "\r\nItem "), kRecordedItems);
    EXPECT_NE(text.find("Item 99" + std::string(kRecordedNameBytes - 2, 'n') + "... failed: "), std::string::npos);
    EXPECT_NE(text.find("\r\n... (5000 items failed in all)"), std::string::npos);
    EXPECT_LT(text.size(), (kRecordedNameBytes + 100) * (kRecordedItems + 2));
}

TEST(LogBackupPath, ReplacesTheTextAfterTheLastDot) {
    EXPECT_EQ(LogBackupPath("C:\\ProgramData\\Norvane\\Kesti\\OPCHDAKestiLog.log"),
              "C:\\ProgramData\\Norvane\\Kesti\\OPCHDAKestiLog.bak");
    EXPECT_EQ(LogBackupPath("C:\\logs\\name"), "C:\\logs\\name.bak");
    EXPECT_EQ(LogBackupPath("C:\\a.b\\name"), "C:\\a.bak");
}

TEST_F(LogTest, RecordsOfManyThreadsNeverInterleave) {
    constexpr int kThreads = 8;
    constexpr int kRecords = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kRecords; ++i)
                LogMessage(LogError, "thread " + std::to_string(t) + " " + std::string(300, char('a' + t)));
        });
    for (auto& thread : threads) thread.join();
    const std::string text = LogText();
    const std::regex record(kHeader + R"(\[Error\]\r\nthread (\d) ([a-h])\2{299}\r\n\r\n)");
    std::size_t records = 0;
    auto begin = std::sregex_iterator(text.begin(), text.end(), record);
    std::size_t covered = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        EXPECT_EQ(static_cast<std::size_t>(it->position()), covered) << "bytes between records";
        EXPECT_EQ((*it)[2].str()[0], char('a' + std::stoi((*it)[1].str())));
        covered = it->position() + it->length();
        ++records;
    }
    EXPECT_EQ(records, static_cast<std::size_t>(kThreads * kRecords));
    EXPECT_EQ(covered, text.size());
}

} // namespace
} // namespace kesti::test
