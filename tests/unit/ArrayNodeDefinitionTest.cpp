#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "TempDataFolder.h"
#include "config/ArrayNodeDefinition.h"

namespace kesti::test {
namespace {

class ArrayNodeTest : public TempDataFolderTest {
protected:
    std::vector<ArrayNodeDefinition> Read(const std::string& inner) {
        const std::string xml = "<settings>" + inner + "</settings>";
        EXPECT_TRUE(document_.load_string(xml.c_str()));
        return ReadArrayNodes(document_.child("settings"));
    }

private:
    pugi::xml_document document_;
};

using Names = std::vector<std::string>;

TEST_F(ArrayNodeTest, NamesFromTheFileWhenTheirCountMatchesTheSize) {
    const auto d = Read(R"(<arraynode tag="T" size="3" prefix="p_"><arraytagnamesbystartandinterval start="5" interval="1"/>
        <arraytag>a</arraytag><arraytag>b</arraytag><arraytag>c</arraytag></arraynode>)");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].names, (Names{"a", "b", "c"}));
    EXPECT_EQ(d[0].start, 5.0f);
    EXPECT_NE(LogText().find("Successfully read 3 array tag names from XML file."), std::string::npos);
}

TEST_F(ArrayNodeTest, TheLargestArrayIsKeptAndOneElementMoreIsSkipped) {
    const auto d = Read(R"(<arraynode tag="Big" size="65536"/><arraynode tag="TooBig" size="65537"/>)");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].tag, "Big");
    EXPECT_EQ(d[0].names.size(), 65536u);
    EXPECT_NE(LogText().find("[Error]\r\nIgnoring the ArrayNode of tag TooBig: its size 65537 is larger than the "
                             "largest array of 65536 elements."),
              std::string::npos);
}

TEST_F(ArrayNodeTest, AWrongCountOfNamesIsReplacedByComputedNames) {
    const auto d = Read(R"(<arraynode tag="T" size="3"><arraytag>a</arraytag><arraytag>b</arraytag></arraynode>)");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].names, (Names{"tag_1", "tag_2", "tag_3"}));
    const std::string log = LogText();
    EXPECT_NE(log.find("[Information]\r\nRead 21 array tag names"), std::string::npos) << log;
    EXPECT_NE(log.find("Creating virtual tag names from start and interval for tag T"), std::string::npos);
}

TEST_F(ArrayNodeTest, ComputedNamesPrintNumbersAsAStreamDoes) {
    auto d = Read(R"(<arraynode tag="T" size="4" prefix="tag_"><arraytagnamesbystartandinterval start="10" interval="2"/></arraynode>
                     <arraynode tag="U" size="3" prefix="x"><arraytagnamesbystartandinterval start="0.5" interval="0.25"/></arraynode>)");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].names, (Names{"tag_10", "tag_12", "tag_14", "tag_16"}));
    EXPECT_EQ(d[1].names, (Names{"x0.5", "x0.75", "x1"}));
}

TEST_F(ArrayNodeTest, SizeZeroOrMissingGivesNoNames) {
    const auto d = Read(R"(<arraynode tag="Zero" size="0"/><arraynode tag="Missing"/><arraynode tag="Junk" size="many"/>)");
    ASSERT_EQ(d.size(), 3u);
    for (const auto& definition : d) EXPECT_TRUE(definition.names.empty()) << definition.tag;
    EXPECT_TRUE(FindArrayTagNames(d, "Missing").empty());
}

TEST_F(ArrayNodeTest, IncompleteDefinitionsAreSkippedAndTheRestRead) {
    const auto d = Read(R"(<arraynode size="1"/><arraynode tag="" size="1"/>
        <arraynode tag="NoNamesTag" size="2"><arraytagnamesbyarray/></arraynode>
        <arraynode tag="Later" size="1"><arraytagnamesbyarray tag="Names"/></arraynode>)");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].tag, "Later");
    EXPECT_EQ(d[0].namesByArray, 1);
    EXPECT_EQ(d[0].namesTag, "Names");
    const std::string log = LogText();
    EXPECT_NE(log.find("Ignoring incomplete ArrayNode. An ArrayNode has to have a tag attribute"), std::string::npos);
    EXPECT_NE(log.find("[Error]\r\nIgnoring the ArrayNode of tag NoNamesTag"), std::string::npos);
}

TEST_F(ArrayNodeTest, EveryElementAfterTheFirstArrayTagGivesAName) {
    const auto d = Read(R"(<arraynode tag="T" size="3"><arraytag>a</arraytag><other>b</other><arraytag/></arraynode>)");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].names, (Names{"a", "b", ""}));
}

TEST_F(ArrayNodeTest, FindMatchesTheFirstDefinitionByExactTag) {
    const auto d = Read(R"(<arraynode tag="Area.Vec" size="1"><arraytag>first</arraytag></arraynode>
                           <arraynode tag="Area.Vec" size="1"><arraytag>second</arraytag></arraynode>)");
    EXPECT_EQ(FindArrayTagNames(d, "Area.Vec"), (Names{"first"}));
    EXPECT_TRUE(FindArrayTagNames(d, "Area.vec").empty());
}

TEST_F(ArrayNodeTest, WrittenDefinitionsCarryTheirNamesAndTruncatedNumbers) {
    ArrayNodeDefinition computed;
    computed.tag = "T";
    computed.size = 3;
    computed.start = 2.5f;
    computed.interval = 0.5f;
    CreateVirtualTagNames(computed);
    ArrayNodeDefinition byArray;
    byArray.tag = "U";
    byArray.namesByArray = 1;
    byArray.namesTag = "NamesOfU";
    byArray.size = 1;
    byArray.names = {"only"};

    pugi::xml_document document;
    pugi::xml_node settings = document.append_child("settings");
    WriteArrayNodes(settings, {computed, byArray});
    const pugi::xml_node first = settings.child("arraynode");
    EXPECT_STREQ(first.child("arraytagnamesbystartandinterval").attribute("start").value(), "2");
    EXPECT_STREQ(first.child("arraytagnamesbystartandinterval").attribute("interval").value(), "0");
    EXPECT_FALSE(first.next_sibling("arraynode").child("arraytagnamesbystartandinterval"));

    const auto back = ReadArrayNodes(settings);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].names, (Names{"tag_2.5", "tag_3", "tag_3.5"}));
    EXPECT_EQ(back[1].namesTag, "NamesOfU");
    EXPECT_EQ(back[1].names, (Names{"only"}));
    EXPECT_EQ(back[1].start, 1.0f);
}

} // namespace
} // namespace kesti::test
