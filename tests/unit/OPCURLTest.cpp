#include <gtest/gtest.h>

#include <objbase.h>

#include "discovery/OPCSpecification.h"
#include "discovery/OPCURL.h"

namespace kesti {
namespace {

std::string Braced(const GUID& id) {
    wchar_t text[40];
    StringFromGUID2(id, text, 40);
    std::string narrow;
    for (const wchar_t* c = text; *c; ++c) narrow += static_cast<char>(*c);
    return narrow;
}

TEST(OPCURL, FullAddressRoundTrips) {
    const std::string text = "opchda://srv:8080/Vendor.HDA.1/{7DE5B060-E089-11D2-A5E6-000086339399}";
    const OPCURL url = OPCURL::Parse(text);
    EXPECT_EQ(url.Specifications(), 0x080u);
    EXPECT_EQ(url.Host(), "srv");
    EXPECT_EQ(url.Port(), 8080);
    EXPECT_EQ(url.Path(), "Vendor.HDA.1/{7DE5B060-E089-11D2-A5E6-000086339399}");
    EXPECT_EQ(Braced(url.ClassId()), "{7DE5B060-E089-11D2-A5E6-000086339399}");
    EXPECT_EQ(url.ToString(), text);
}

TEST(OPCURL, ShapesWithoutHostOrPath) {
    const OPCURL noSlash = OPCURL::Parse("opcda://srv");
    EXPECT_EQ(noSlash.Host(), "localhost");
    EXPECT_EQ(noSlash.Path(), "srv");
    EXPECT_EQ(noSlash.Specifications(), 0x020u);

    const OPCURL hostAndPort = OPCURL::Parse("srv:99");
    EXPECT_EQ(hostAndPort.Specifications(), 0u);
    EXPECT_EQ(hostAndPort.Host(), "srv");
    EXPECT_EQ(hostAndPort.Port(), 99);
    EXPECT_EQ(hostAndPort.Path(), "");

    const OPCURL leadingColon = OPCURL::Parse(":x/y");
    EXPECT_EQ(leadingColon.Host(), ":x");
    EXPECT_EQ(leadingColon.Path(), "y");

    const OPCURL noClassIdWithoutHost = OPCURL::Parse("Prog/{7DE5B060-E089-11D2-A5E6-000086339399}x");
    EXPECT_EQ(noClassIdWithoutHost.Host(), "Prog");
    const OPCURL pathOnly = OPCURL::Parse("{7DE5B060-E089-11D2-A5E6-000086339399}");
    EXPECT_EQ(pathOnly.Host(), "localhost");
    EXPECT_EQ(Braced(pathOnly.ClassId()), "{00000000-0000-0000-0000-000000000000}");
}

TEST(OPCURL, ANonNumericPortIsDropped) {
    EXPECT_EQ(OPCURL::Parse("opchda://srv:abc/P").ToString(), "opchda://srv/P");
}

TEST(OPCURL, AnEmptyHostSurvivesTheTextForm) {
    OPCURL local;
    local.SetSpecifications(0x080);
    local.SetPath("Sim.HDA/{7DE5B060-E089-11D2-A5E6-000086339399}");
    const std::string text = local.ToString();
    EXPECT_EQ(text, "opchda:///Sim.HDA/{7DE5B060-E089-11D2-A5E6-000086339399}");
    const OPCURL back = OPCURL::Parse(text);
    EXPECT_EQ(back.Host(), "");
    EXPECT_TRUE(back.Equals(local));
}

TEST(OPCURL, NoSpecificationsFormatWithAnEmptyScheme) {
    OPCURL url;
    url.SetHost("h");
    url.SetPath("P");
    EXPECT_EQ(url.ToString(), "://h/P");
}

TEST(OPCURL, OnlyTheSchemeTextDecidesEquality) {
    OPCURL enumerated;
    enumerated.SetHost("h");
    enumerated.SetSpecifications(0x090);
    enumerated.SetPath("P");
    enumerated.SetDescription("described");
    const OPCURL parsed = OPCURL::Parse(enumerated.ToString());
    EXPECT_EQ(parsed.Specifications(), 0x080u);
    EXPECT_TRUE(parsed.Equals(enumerated));
    EXPECT_FALSE(OPCURL::Parse("opchda://H/P").Equals(parsed));
    EXPECT_FALSE(OPCURL::Parse("opchda://h:1/P").Equals(parsed));
    EXPECT_EQ(OPCURL::Parse("opcae://h/P").Specifications(), 0x001u);
    EXPECT_EQ(OPCURL::Parse("opcae://h/P").ToString(), "opcae://h/P");
}

TEST(OPCSpecification, TableOrderFlagsAndCategoryIds) {
    const auto& table = OPCSpecifications();
    ASSERT_EQ(table.size(), 10u);
    for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i].Flag(), 1u << i);
    EXPECT_EQ(table[0].GetName(), "Alarms and Event 1.XX");
    EXPECT_EQ(table[0].ToolTipLine(), "\nAlarm and Event 1.XX Server");
    EXPECT_EQ(Braced(table[7].CategoryId()), "{7DE5B060-E089-11D2-A5E6-000086339399}");
    EXPECT_EQ(Braced(table[9].CategoryId()), "{EC10AFD8-9BC0-4828-B47E-B3D907F929B1}");
    EXPECT_EQ(table[9].ToolTipLine(), "\nUnified Architecture 1.00");
    EXPECT_TRUE(table[3].Equals(OPCSpecification("63D5F430-CFE4-11D1-B2C8-0060083BA1FB", "other", 0, "")));
    EXPECT_FALSE(table[3].Equals(table[4]));
    EXPECT_EQ(Braced(OPCSpecification("not a guid", "x", 0, "").CategoryId()),
              "{00000000-0000-0000-0000-000000000000}");
}

TEST(OPCSpecification, SchemeTextsBothWays) {
    EXPECT_EQ(GetSchemeText(0x080 | 0x020), "opchda");
    EXPECT_EQ(GetSchemeText(0x008), "opcda");
    EXPECT_EQ(GetSchemeText(0x040 | 0x001), "opcdx");
    EXPECT_EQ(GetSchemeText(0x001), "opcae");
    EXPECT_EQ(GetSchemeText(0x002), "opcbatch");
    EXPECT_EQ(GetSchemeText(0x100), "opc.xmlda");
    EXPECT_EQ(GetSchemeText(0x200), "opc.http");
    EXPECT_EQ(GetSchemeText(0x400), "");
    EXPECT_EQ(ParseScheme("opcbatch"), 0x004u);
    EXPECT_EQ(ParseScheme("opcda"), 0x020u);
    EXPECT_EQ(ParseScheme("opc.tcp"), 0x200u);
    EXPECT_EQ(ParseScheme("http"), 0x200u);
    EXPECT_EQ(ParseScheme("OPCHDA"), 0u);
}

} // namespace
} // namespace kesti
