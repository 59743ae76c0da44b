// Values, qualities, result codes and times between COM and the plug-in.
#include <cmath>

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "base/ResultText.h"
#include "base/TextConversion.h"
#include "base/TimeConversion.h"
#include "opchda/OpcHdaText.h"
#include "opchda/VariantValue.h"
#include "platform/ComMemory.h"

namespace kesti {
namespace {

using boost::posix_time::time_from_string;
using platform::UniqueBstr;
using platform::UniqueVariant;

// A one-dimensional SAFEARRAY with the given lower bound.
template <class T>
SAFEARRAY* MakeArray(VARTYPE type, LONG lowerBound, std::initializer_list<T> values) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(values.size()), lowerBound};
    SAFEARRAY* array = SafeArrayCreate(type, 1, &bound);
    LONG index = lowerBound;
    for (T value : values) SafeArrayPutElement(array, &index, &value), ++index;
    return array;
}

TEST(HResultText, SFalseIsSuccessWithoutALookUp) { EXPECT_EQ(HResultText(S_FALSE), "Success (0x00000001)"); }

TEST(HResultText, KnownAndUnknownCodesEndInTheirNumber) {
    const std::string notRegistered = HResultText(static_cast<HRESULT>(0x80040154));
    EXPECT_NE(notRegistered.rfind("(0x80040154)"), std::string::npos);
    EXPECT_EQ(notRegistered.find('\n'), std::string::npos);
    EXPECT_EQ(HResultText(static_cast<HRESULT>(0xC0041001)), "Error (0xc0041001)");
    EXPECT_EQ(HResultText(static_cast<HRESULT>(0x40041003)), "Success (0x40041003)");
}

TEST(QualityText, FlagsThenTheClass) {
    EXPECT_EQ(QualityText(0x00240040), "RAW|NODATA|UNCERTAIN");
    EXPECT_EQ(QualityText(0x000400C0), "RAW|GOOD");
    EXPECT_EQ(QualityText(0), "BAD");
    EXPECT_EQ(QualityText(0x01FF0080), "EXTRADATA|INTERPOLATED|RAW|CALCULATED|NOBOUND|NODATA|DATALOST|CONVERSION|"
                                       "PARTIAL|UNKNOWN");
}

TEST(TimeConversion, FileTimesAndTimePointsBothWays) {
    const auto t = time_from_string("2013-11-26 10:55:12.045678");
    const FILETIME ft = FileTimeFromTimePoint(t);
    EXPECT_EQ(TimePointFromFileTime(ft), t);
    EXPECT_EQ(FileTimeText(ft), "2013-11-26 10:55:12.045 UTC");
    const FILETIME zero = FileTimeFromTimePoint(boost::posix_time::ptime(boost::posix_time::not_a_date_time));
    EXPECT_EQ(zero.dwLowDateTime | zero.dwHighDateTime, 0u);
    EXPECT_EQ(FileTimeText(zero), "1601-01-01 00:00:00.000 UTC");
}

TEST(TimeConversion, SecondsSince1970AndLogTexts) {
    EXPECT_EQ(SecondsSince1970(time_from_string("1970-01-02 00:00:01.999")), 86401);
    EXPECT_EQ(TimePointFromSeconds(1700000000), time_from_string("2023-11-14 22:13:20"));
    EXPECT_EQ(TimePointLogText(time_from_string("2013-11-26 10:55:12.001")), "2013-11-26 10:55:12.001");
    EXPECT_EQ(DurationLogText(boost::posix_time::seconds(60)), "00:01:00");
    EXPECT_EQ(DurationLogText(boost::posix_time::milliseconds(-500)), "-00:00:00.500000");
    EXPECT_EQ(DurationLogText(boost::posix_time::time_duration(boost::posix_time::not_a_date_time)),
              "not-a-date-time");
}

TEST(DumpOpcHdaTime, ShowsNullForAnEmptyTime) {
    OPCHDA_TIME time{TRUE, const_cast<LPWSTR>(L"NOW"), {0, 0}};
    EXPECT_EQ(DumpOpcHdaTime("StartTime", time),
              "StartTime: {\n   bString: true\n   szTime: \"NOW\"\n   ftTime: { number: 0, representation: null }\n}");
    time.bString = FALSE;
    time.szTime = nullptr;
    time.ftTime = FileTimeFromTimePoint(time_from_string("2013-11-26 10:55:12"));
    EXPECT_NE(DumpOpcHdaTime("EndTime", time).find("szTime: null\n   ftTime: { number: 130299369120000000, "
                                                   "representation: \"2013-11-26 10:55:12.000 UTC\" }"),
              std::string::npos);
}

TEST(DumpVariant, InvariantTextOrNull) {
    UniqueVariant real;
    V_VT(real.Get()) = VT_R8;
    V_R8(real.Get()) = 12.5;
    EXPECT_EQ(DumpVariant(*real), "{ vt: 5, value: \"12.5\" }");
    UniqueVariant empty;
    EXPECT_EQ(DumpVariant(*empty), "{ vt: 0, value: \"\" }");
    UniqueVariant array;
    V_VT(array.Get()) = VT_ARRAY | VT_R8;
    V_ARRAY(array.Get()) = MakeArray<double>(VT_R8, 0, {1.0});
    EXPECT_EQ(DumpVariant(*array), "{ vt: 8197, value: null }");

    // A server's text of megabytes is cut, so that no record outgrows the log.
    UniqueVariant huge;
    V_VT(huge.Get()) = VT_BSTR;
    V_BSTR(huge.Get()) = SysAllocStringLen(std::wstring(3'000'000, L'x').c_str(), 3'000'000);
    const std::string dumped = DumpVariant(*huge);
    EXPECT_EQ(dumped, "{ vt: 8, value: \"" + std::string(kLoggedValueCharacters, 'x') + "\"... (6000000 bytes) }");
}

TEST(VariantValue, ClassesLookThroughReferencesArraysAndWrappers) {
    UniqueVariant v;
    const std::pair<VARTYPE, VariantValueClass> plain[] = {
        {VT_I2, VariantValueClass::Integer}, {VT_UI8, VariantValueClass::Integer},
        {VT_BOOL, VariantValueClass::Integer}, {VT_R4, VariantValueClass::Real},
        {VT_DECIMAL, VariantValueClass::Real}, {VT_BSTR, VariantValueClass::Text},
        {VT_EMPTY, VariantValueClass::Unsupported}, {VT_DATE, VariantValueClass::Unsupported},
        {VT_CY, VariantValueClass::Unsupported}, {VT_R8 | VT_ARRAY, VariantValueClass::Real}};
    for (const auto& [type, expected] : plain) {
        VARIANT probe{}; // an array type without its array
        V_VT(&probe) = type;
        EXPECT_EQ(ValueClassOf(probe), expected) << type;
    }
    UniqueVariant inner;
    V_VT(inner.Get()) = VT_BSTR;
    V_BSTR(inner.Get()) = SysAllocString(L"x");
    VARIANT byRef;
    VariantInit(&byRef);
    V_VT(&byRef) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&byRef) = inner.Get();
    EXPECT_EQ(ValueClassOf(byRef), VariantValueClass::Text);
    VARIANT bare;
    VariantInit(&bare);
    V_VT(&bare) = VT_VARIANT;
    EXPECT_EQ(ValueClassOf(bare), VariantValueClass::Unsupported);
}

TEST(VariantValue, TextByReferenceAndInsideAVariantArray) {
    UniqueBstr text(L"f\u00e4hrt");
    BSTR referenced = text.Get();
    VARIANT byRef; // a reference owns nothing
    VariantInit(&byRef);
    V_VT(&byRef) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&byRef) = &referenced;
    EXPECT_EQ(ValueClassOf(byRef), VariantValueClass::Text);
    EXPECT_EQ(ExtractText(byRef), AnsiFromWide(std::wstring(L"f\u00e4hrt")));

    UniqueVariant array;
    V_VT(array.Get()) = VT_ARRAY | VT_VARIANT;
    SAFEARRAYBOUND bound{2, 1};
    V_ARRAY(array.Get()) = SafeArrayCreate(VT_VARIANT, 1, &bound);
    UniqueVariant element;
    V_VT(element.Get()) = VT_BSTR;
    V_BSTR(element.Get()) = SysAllocString(L"second");
    LONG index = 2;
    SafeArrayPutElement(V_ARRAY(array.Get()), &index, element.Get());
    EXPECT_EQ(ExtractText(*array, 1), "second");
    EXPECT_EQ(ExtractText(*array, 0), "");
    EXPECT_EQ(ElementCount(*array), 2u);
}

TEST(VariantValue, ArraysWithALowerBoundOtherThanZeroGiveElementsFromTheStart) {
    UniqueVariant reals;
    V_VT(reals.Get()) = VT_ARRAY | VT_R8;
    V_ARRAY(reals.Get()) = MakeArray<double>(VT_R8, 1, {1.5, 2.5, 3.5});
    EXPECT_EQ(ExtractReal(*reals, 0), 1.5);
    EXPECT_EQ(ExtractReal(*reals, 2), 3.5);
    EXPECT_FALSE(ExtractReal(*reals, 3).has_value());
    EXPECT_EQ(ElementCount(*reals), 3u);

    UniqueVariant variants;
    V_VT(variants.Get()) = VT_ARRAY | VT_VARIANT;
    SAFEARRAYBOUND bound{2, 5};
    V_ARRAY(variants.Get()) = SafeArrayCreate(VT_VARIANT, 1, &bound);
    VARIANT element;
    VariantInit(&element);
    V_VT(&element) = VT_R4;
    V_R4(&element) = 0.25f;
    LONG index = 6;
    SafeArrayPutElement(V_ARRAY(variants.Get()), &index, &element);
    EXPECT_EQ(ExtractReal(*variants, 1), 0.25);
    EXPECT_EQ(ValueClassOf(*variants), VariantValueClass::Unsupported) << "its first element is empty";
}

// A server may name other elements in the VARIANT's type than its array holds, or send more
// dimensions than a value has: such a value is never read, so no double is taken for a text.
TEST(VariantValue, ArraysThatMisnameTheirElementsOrHaveTwoDimensionsAreNotRead) {
    UniqueVariant misnamed;
    V_VT(misnamed.Get()) = VT_ARRAY | VT_BSTR;
    V_ARRAY(misnamed.Get()) = MakeArray<double>(VT_R8, 0, {1.5, 2.5});
    EXPECT_EQ(ValueClassOf(*misnamed), VariantValueClass::Unsupported);
    EXPECT_EQ(ExtractText(*misnamed, 1), "");

    UniqueVariant ints;
    V_VT(ints.Get()) = VT_ARRAY | VT_INT; // kept as VT_I4 elements: the same storage
    V_ARRAY(ints.Get()) = MakeArray<LONG>(VT_I4, 0, {7});
    EXPECT_EQ(ValueClassOf(*ints), VariantValueClass::Integer);
    EXPECT_EQ(ExtractInteger(*ints)->signedValue, 7);

    UniqueVariant square;
    V_VT(square.Get()) = VT_ARRAY | VT_R8;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    V_ARRAY(square.Get()) = SafeArrayCreate(VT_R8, 2, bounds);
    EXPECT_EQ(ValueClassOf(*square), VariantValueClass::Unsupported);
}

TEST(VariantValue, IntegersKeepTheirFullMagnitude) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_UI4;
    V_UI4(&v) = 3000000000u;
    EXPECT_EQ(ExtractInteger(v)->ToFloat(), 3000000000.0f);
    V_VT(&v) = VT_I8;
    V_I8(&v) = -(1LL << 40);
    EXPECT_EQ(ExtractInteger(v)->ToFloat(), -1099511627776.0f);
    V_VT(&v) = VT_UI8;
    V_UI8(&v) = 18446744073709551615ULL;
    EXPECT_EQ(ExtractInteger(v)->ToFloat(), 18446744073709551615.0f);
    V_VT(&v) = VT_I1;
    V_I1(&v) = -5;
    EXPECT_EQ(ExtractInteger(v)->ToFloat(), -5.0f);
    V_VT(&v) = VT_UI1;
    V_UI1(&v) = 250;
    EXPECT_EQ(ExtractInteger(v)->ToFloat(), 250.0f);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = VARIANT_TRUE;
    EXPECT_EQ(ExtractInteger(v)->ToFloat(), 1.0f);
    LONG referenced = -7;
    V_VT(&v) = VT_I4 | VT_BYREF;
    V_I4REF(&v) = &referenced;
    EXPECT_EQ(ExtractInteger(v)->ToFloat(), -7.0f);
}

TEST(VariantValue, RealsThatCannotBeExtractedAreNoValue) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_R8;
    V_R8(&v) = std::nan("");
    ASSERT_TRUE(ExtractReal(v).has_value());
    EXPECT_TRUE(std::isnan(*ExtractReal(v)));
    V_VT(&v) = VT_DATE;
    EXPECT_FALSE(ExtractReal(v).has_value());
    V_VT(&v) = VT_DECIMAL;
    VarDecFromR8(2.75, &V_DECIMAL(&v));
    V_VT(&v) = VT_DECIMAL; // VarDecFromR8 fills the whole VARIANT
    EXPECT_EQ(ExtractReal(v), 2.75);
}

TEST(TextConversion, Utf8RoundTripSkipsInvalidSequences) {
    EXPECT_EQ(Utf8FromWide(L"\u00c4rger \u20ac"), "\xC3\x84rger \xE2\x82\xAC");
    EXPECT_EQ(WideFromUtf8("\xC3\x84rger \xE2\x82\xAC"), L"\u00c4rger \u20ac");
    EXPECT_EQ(WideFromUtf8("a\xFF" "b"), L"ab");
    const wchar_t lone[] = {L'a', 0xD800, L'b', 0};
    const std::string skipped = Utf8FromWide(lone); // a lone surrogate is dropped, never thrown
    EXPECT_EQ(skipped.rfind("a", 0), 0u);
    EXPECT_EQ(skipped.find_first_of("\xED\xEF"), std::string::npos);
}

} // namespace
} // namespace kesti
