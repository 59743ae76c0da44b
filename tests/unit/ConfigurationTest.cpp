#include <fstream>

#include <gtest/gtest.h>

#include "TempDataFolder.h"
#include "config/Configuration.h"
#include "base/DataFolder.h"
#include "base/Exception.h"
#include "base/NumberText.h"
#include "config/SettingsXml.h"
#include "base/Identity.h"

namespace kesti::test {
namespace {

class ConfigurationTest : public TempDataFolderTest {
protected:
    std::string ConfigPath() const { return DataFolder() + "\\OPCHDAConfiguration.xml"; }

    void WriteConfig(const std::string& xml) {
        CreateDirectoryTree(DataFolder());
        std::ofstream(ConfigPath(), std::ios::binary) << xml;
    }

    static std::string Settings(const std::string& inner) {
        return "<?xml version=\"1.0\" ?>\n<settings>\n" + inner + "</settings>\n";
    }
    static std::string Setting(const std::string& key, const std::string& value) {
        return "<setting key=\"" + key + "\" value=\"" + value + "\" />\n";
    }
    static std::string Nodes(int count) {
        std::string nodes = "<nodes>\n";
        for (int i = 0; i < count; ++i)
            nodes += Setting("Node_" + std::to_string(i) + "_0", "item" + std::to_string(i)) +
                     Setting("Node_" + std::to_string(i) + "_1", "path" + std::to_string(i));
        return nodes + "</nodes>\n";
    }
    std::string SavedLogText() const { return ReadFileBytes(DataFolder() + "\\OPCHDAKestiLog.log"); }
};

TEST_F(ConfigurationTest, AMissingFileGivesDefaultsAndSetsOnlyThePrefix) {
    SetLogLevel(4);
    const Configuration c = ReadConfiguration();
    EXPECT_EQ(c.filePath, ConfigPath());
    EXPECT_EQ(c.logLevel, 3);
    EXPECT_EQ(c.logFileSize, 1048576u);
    EXPECT_TRUE(c.useNullTimeValues);
    EXPECT_TRUE(c.nodes.empty());
    EXPECT_EQ(GetLogLevel(), 4) << "an unreadable file leaves the log's level";
    EXPECT_EQ(GetFileNamePrefix(), "OPCHDA");
    const std::string log = SavedLogText();
    EXPECT_NE(log.find("Initialization: " + IdentityText() + " trying to read configuration from " + ConfigPath()),
              std::string::npos);
    EXPECT_NE(log.find("[Warning]\r\nInitialization: configuration done, no configuration loaded."), std::string::npos);
}

TEST_F(ConfigurationTest, AFileWithoutSettingsElementWarns) {
    WriteConfig("<?xml version=\"1.0\" ?>\n<other/>\n");
    ReadConfiguration();
    EXPECT_NE(SavedLogText().find("Initialization: Could not find the <settings> element in the XML file."),
              std::string::npos);
}

TEST_F(ConfigurationTest, UrlWithoutNodesIsBuiltButNotLoaded) {
    WriteConfig(Settings(Setting("URL", "opchda://localhost/Sim.1/{1}")));
    const Configuration c = ReadConfiguration();
    EXPECT_EQ(c.url, "opchda://localhost/Sim.1/{1}");
    EXPECT_NE(SavedLogText().find("[Warning]\r\nInitialization: configuration done, no configuration loaded."),
              std::string::npos);
}

TEST_F(ConfigurationTest, SettingsAreReadLikeAtoiAndLaterKeysWin) {
    WriteConfig(Settings(Setting("LogLevel", " 4x") + Setting("UseNullTimeValues", "2") + Setting("URL", "first") +
                         Setting("URL", "second") + Setting("Unknown", "ignored") + "<setting key=\"NoValue\"/>\n" +
                         Nodes(1)));
    SetLogLevel(4); // the file's level applies only after its settings were read
    const Configuration c = ReadConfiguration();
    EXPECT_EQ(c.logLevel, 4);
    EXPECT_EQ(GetLogLevel(), 4);
    EXPECT_TRUE(c.useNullTimeValues);
    EXPECT_EQ(c.url, "second");
    const std::string log = SavedLogText();
    EXPECT_NE(log.find("[Debug]\r\nConfiguration: Key:Unknown, Value:ignored"), std::string::npos);
    EXPECT_EQ(log.find("Key:NoValue"), std::string::npos);
    EXPECT_NE(log.find("[Information]\r\nInitialization: Init configuration done, configuration settings loaded "
                       "successfully."),
              std::string::npos);
}

// A read shape the plug-in does not know leaves reads automatic, and a time limit that is not
// a number of seconds above 0 leaves the default, each with a Warning; a default
// configuration writes neither.
TEST_F(ConfigurationTest, AnUnknownReadShapeOrTimeLimitKeepsTheDefault) {
    WriteConfig(Settings(Setting("ReadShape", "sideways") + Setting("ServerTimeLimit", "0")));
    const Configuration odd = ReadConfiguration();
    EXPECT_EQ(odd.readShape, ReadShape::Automatic);
    EXPECT_EQ(odd.serverTimeLimit, kDefaultServerTimeLimit);
    EXPECT_NE(SavedLogText().find("the ReadShape setting \"sideways\" is not one of"), std::string::npos);
    EXPECT_NE(SavedLogText().find("the ServerTimeLimit setting \"0\" is not a number of seconds above 0; 600 seconds "
                                  "are used."),
              std::string::npos);
    WriteConfig(Settings(Setting("ReadShape", "Forward") + Setting("ServerTimeLimit", "45")));
    EXPECT_EQ(ReadConfiguration().readShape, ReadShape::Forward);
    EXPECT_EQ(ReadConfiguration().serverTimeLimit, 45);
}

TEST_F(ConfigurationTest, UseNullTimeValuesYesReadsAsFalse) {
    WriteConfig(Settings(Setting("UseNullTimeValues", "yes")));
    EXPECT_FALSE(ReadConfiguration().useNullTimeValues);
}

TEST_F(ConfigurationTest, LogFileSizeKeepsEverySavedValue) {
    for (const auto& [text, expected] : std::vector<std::pair<std::string, std::uint64_t>>{
             {"-1", ~0ULL}, {"18446744073709551615", ~0ULL}, {"4294967296", 4294967296ULL}, {"2147483648", 2147483648ULL},
             {"0", 0}, {"12kB", 12}}) {
        WriteConfig(Settings(Setting("LogFileSize", text)));
        EXPECT_EQ(ReadConfiguration().logFileSize, expected) << text;
        EXPECT_EQ(GetLogFileSize(), expected) << text;
    }
}

TEST_F(ConfigurationTest, AnOddNumberOfNodeSettingsFailsTheBuild) {
    WriteConfig(Settings(Setting("LogLevel", "2") + "<nodes>" + Setting("Node_0_0", "a") + Setting("Node_0_1", "b") +
                         Setting("Node_1_0", "c") + "</nodes>"));
    std::string failure;
    try {
        ReadConfiguration();
    } catch (const kesti::Exception& e) {
        failure = e.Message();
    }
    EXPECT_EQ(failure, "Initialization of nodes: false number of node arguments");
    EXPECT_EQ(GetLogLevel(), 2) << "the log settings were already handed over";
}

TEST_F(ConfigurationTest, TwoSettingsWithAnyKeysFormOneNode) {
    WriteConfig(Settings("<nodes>" + Setting("zeta", "second") + Setting("alpha", "first") + "</nodes>"));
    const Configuration c = ReadConfiguration();
    ASSERT_EQ(c.nodes.size(), 1u);
    EXPECT_EQ(c.nodes[0], (ConfiguredNode{"first", "second"}));
}

TEST_F(ConfigurationTest, ElevenNodesKeepTheirNumberedOrder) {
    WriteConfig(Settings(Nodes(11)));
    const Configuration c = ReadConfiguration();
    ASSERT_EQ(c.nodes.size(), 11u);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(c.nodes[i], (ConfiguredNode{"item" + std::to_string(i), "path" + std::to_string(i)}));
}

TEST(PairNodeSettings, KeysOfAnotherShapePairInByteOrder) {
    const SettingsMap settings{{"Node_0_0", "a"}, {"Node_0_1", "b"}, {"Node_10_0", "c"}, {"Node_10_x", "d"}};
    const auto pairs = PairNodeSettings(settings);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"c", "d"}));
    const SettingsMap halves{{"Node_0_0", "a"}, {"Node_0_1", "b"}, {"Node_1_0", "c"}, {"Node_2_0", "d"}};
    EXPECT_EQ(PairNodeSettings(halves)[1], (std::pair<std::string, std::string>{"c", "d"}));
}

TEST(ReadInt32, FollowsAtoi) {
    EXPECT_EQ(ReadInt32("  -17abc"), -17);
    EXPECT_EQ(ReadInt32("+5"), 5);
    EXPECT_EQ(ReadInt32("abc"), 0);
    EXPECT_EQ(ReadInt32(""), 0);
    EXPECT_EQ(ReadInt32("99999999999"), 2147483647);
}

TEST_F(ConfigurationTest, ACredentialThatCannotBeReadLeavesTheRestOfTheFile) {
    WriteConfig(Settings(Setting("Connection", "nothex") + Setting("URL", "u") + Nodes(1)));
    const Configuration c = ReadConfiguration();
    EXPECT_EQ(c.credentials, Credentials{});
    EXPECT_EQ(c.url, "u");
    EXPECT_NE(SavedLogText().find("Decrypt error ("), std::string::npos);
}

TEST_F(ConfigurationTest, SavingADefaultConfigurationWritesEveryKeyAndTheSample) {
    Configuration c = ReadConfiguration();
    EXPECT_TRUE(SaveConfiguration(c));
    const std::string xml = ReadFileBytes(ConfigPath());
    const char* inOrder[] = {"<?xml version=\"1.0\"?>", "<settings>",
                             "<setting key=\"LogFileSize\" value=\"1048576\" />",
                             "<setting key=\"LogLevel\" value=\"3\" />", "<setting key=\"Connection\" value=\"",
                             "<setting key=\"URL\" value=\"\" />", "<setting key=\"UseNullTimeValues\" value=\"1\" />",
                             "<nodes />", "<arraynode tag=\"\" size=\"4\" prefix=\"tag_\">",
                             "<arraytagnamesbystartandinterval start=\"10\" interval=\"2\" />",
                             "<arraytag>tag_10</arraytag>", "<arraytag>tag_16</arraytag>",
                             "<!-- This is a sample arraynode showing some available settings.", "</arraynode>",
                             "<!-- You should add one arraynode for each tag that holds array data. -->", "</settings>"};
    std::size_t at = 0;
    for (const char* part : inOrder) {
        const std::size_t found = xml.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << "\n" << xml;
        at = found;
    }
    EXPECT_TRUE(ReadConfiguration().arrayNodes.empty()) << "the sample is inert";
    EXPECT_EQ(xml.find("ReadShape"), std::string::npos) << "a file without it reads as before";
    EXPECT_EQ(xml.find("ReadCallCost"), std::string::npos);
    EXPECT_EQ(xml.find("ServerTimeLimit"), std::string::npos);
    EXPECT_FALSE(FileExists(ConfigPath() + ".tmp"));
}

TEST_F(ConfigurationTest, ASavedConfigurationReadsBackTheSame) {
    Configuration c = ReadConfiguration();
    c.logLevel = 4;
    c.logFileSize = 5368709120ULL;
    c.credentials = {"op\xE9rateur", "", "PLANT & <co>"};
    c.url = "opchda://host/Prog\tId  \"x\"/{0C0A5D4E-0000-0000-0000-000000000001}";
    c.useNullTimeValues = false;
    c.readShape = ReadShape::Rows;
    c.readCallCost = 150;
    c.serverTimeLimit = 90;
    for (int i = 0; i < 12; ++i)
        c.nodes.push_back({"Area" + std::to_string(i) + ".\xC4\xD6", "  path\twith  blanks " + std::to_string(i)});
    ArrayNodeDefinition array;
    array.tag = "Area1.Vector";
    array.size = 3;
    array.names = {"first <1>", "  ", "third & last"};
    c.arrayNodes.push_back(array);
    EXPECT_TRUE(SaveConfiguration(c));

    const Configuration back = ReadConfiguration();
    EXPECT_EQ(back.logLevel, c.logLevel);
    EXPECT_EQ(back.logFileSize, c.logFileSize);
    EXPECT_EQ(back.credentials, c.credentials);
    EXPECT_EQ(back.url, c.url);
    EXPECT_EQ(back.useNullTimeValues, c.useNullTimeValues);
    EXPECT_EQ(back.readShape, c.readShape);
    EXPECT_EQ(back.readCallCost, c.readCallCost);
    EXPECT_EQ(back.serverTimeLimit, c.serverTimeLimit);
    EXPECT_EQ(back.nodes, c.nodes);
    ASSERT_EQ(back.arrayNodes.size(), 1u);
    EXPECT_EQ(back.arrayNodes[0].names, array.names);
    EXPECT_EQ(back.arrayNodes[0].tag, array.tag);
    // Bytes of the system code page go to the file as they are.
    EXPECT_NE(ReadFileBytes(ConfigPath()).find("Area0.\xC4\xD6"), std::string::npos);
}

TEST_F(ConfigurationTest, AFailedSaveKeepsTheOldFileAndSaysSo) {
    WriteConfig(Settings(Setting("URL", "kept")));
    Configuration c = ReadConfiguration();
    c.url = "replaced";
    // A folder where the temporary file would go makes the write fail.
    CreateDirectoryA((ConfigPath() + ".tmp").c_str(), nullptr);
    EXPECT_FALSE(SaveConfiguration(c));
    EXPECT_EQ(ReadConfiguration().url, "kept");
}

TEST_F(ConfigurationTest, WithoutADataFolderThePathIsInTheRootOfTheDrive) {
    platform::SetCommonAppDataFolderOverride(std::string());
    SetFileNamePrefix("OPCHDA");
    EXPECT_EQ(GetConfigurationFilePath(), "\\OPCHDAConfiguration.xml");
}

} // namespace
} // namespace kesti::test
