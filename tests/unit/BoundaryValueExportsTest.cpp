// Strings and value vectors through the exports, in-process.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "interface/OpcHDAKesti.h"

namespace {

struct VectorOwner {
    VectorHandle handle = nullptr;
    ~VectorOwner() { kesti2_vectorFree(handle); }
};

uint32_t TypeOf(VectorHandle vector, uint32_t index) {
    uint32_t type = 99;
    EXPECT_EQ(kesti2_vectorGetType(vector, index, &type), ResultOk);
    return type;
}

TEST(StringExports, CopyReportsTheLengthBeforeCheckingTheBuffer) {
    StringHandle s = nullptr;
    ASSERT_EQ(kesti2_stringCreate("abc", &s), ResultOk);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    uint32_t length = 2;
    EXPECT_EQ(kesti2_stringCopy(s, buffer, &length), ResultBufferTooSmall);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(buffer[0], '#');

    length = 3;
    EXPECT_EQ(kesti2_stringCopy(s, buffer, &length), ResultOk);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(std::string(buffer, 4), "abc#"); // no terminating zero

    length = 3;
    EXPECT_EQ(kesti2_stringCopy(s, nullptr, &length), ResultInvalidArgument);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(kesti2_stringCopy(s, buffer, nullptr), ResultInvalidArgument);
    EXPECT_EQ(kesti2_stringFree(s), ResultOk);
}

TEST(StringExports, EmptyStringCopiesWithANullBuffer) {
    StringHandle s = nullptr;
    ASSERT_EQ(kesti2_stringCreate("", &s), ResultOk);
    uint32_t length = 0;
    EXPECT_EQ(kesti2_stringCopy(s, nullptr, &length), ResultOk);
    EXPECT_EQ(length, 0u);
    kesti2_stringFree(s);
}

TEST(StringExports, CreateKeepsBytesUpToTheFirstZeroUnconverted) {
    StringHandle s = nullptr;
    const char text[] = "\xE4\xF6\x80 x\0hidden";
    ASSERT_EQ(kesti2_stringCreate(text, &s), ResultOk);
    char buffer[16];
    uint32_t length = sizeof buffer;
    ASSERT_EQ(kesti2_stringCopy(s, buffer, &length), ResultOk);
    EXPECT_EQ(std::string(buffer, length), "\xE4\xF6\x80 x");
    kesti2_stringFree(s);
}

TEST(StringExports, NullArgumentsStoreNothing) {
    StringHandle s = reinterpret_cast<StringHandle>(0x1234);
    EXPECT_EQ(kesti2_stringCreate(nullptr, &s), ResultInvalidArgument);
    EXPECT_EQ(s, reinterpret_cast<StringHandle>(0x1234));
    EXPECT_EQ(kesti2_stringCreate("x", nullptr), ResultInvalidArgument);
    uint32_t length = 5;
    EXPECT_EQ(kesti2_stringCopy(nullptr, nullptr, &length), ResultInvalidArgument);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(kesti2_stringFree(nullptr), ResultOk);
}

TEST(VectorExports, ElementsTakeEachKindAndReportTheirCode) {
    VectorOwner v;
    ASSERT_EQ(kesti2_vectorCreate(3, &v.handle), ResultOk);
    uint32_t length = 0;
    EXPECT_EQ(kesti2_vectorGetLength(v.handle, &length), ResultOk);
    EXPECT_EQ(length, 3u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(TypeOf(v.handle, i), 0u);

    EXPECT_EQ(kesti2_vectorSetFloat(v.handle, 0, 2.5f), ResultOk);
    EXPECT_EQ(TypeOf(v.handle, 0), 2u);
    EXPECT_EQ(kesti2_vectorSetString(v.handle, 0, "text"), ResultOk);
    EXPECT_EQ(TypeOf(v.handle, 0), 1u);
    EXPECT_EQ(kesti2_vectorSetNull(v.handle, 0), ResultOk);
    EXPECT_EQ(TypeOf(v.handle, 0), 0u);
}

TEST(VectorExports, GettersRefuseTheOtherKindWithoutTouchingTheOutput) {
    VectorOwner v;
    ASSERT_EQ(kesti2_vectorCreate(2, &v.handle), ResultOk);
    kesti2_vectorSetFloat(v.handle, 0, std::nanf(""));
    kesti2_vectorSetString(v.handle, 1, "7.5");

    float value = 1.0f;
    EXPECT_EQ(kesti2_vectorGetFloat(v.handle, 1, &value), ResultFailed);
    EXPECT_EQ(value, 1.0f);
    EXPECT_EQ(kesti2_vectorGetFloat(v.handle, 0, &value), ResultOk);
    EXPECT_TRUE(std::isnan(value));

    StringHandle s = nullptr;
    EXPECT_EQ(kesti2_vectorGetString(v.handle, 0, &s), ResultFailed);
    EXPECT_EQ(s, nullptr);
    ASSERT_EQ(kesti2_vectorGetString(v.handle, 1, &s), ResultOk);
    char buffer[8];
    uint32_t length = sizeof buffer;
    kesti2_stringCopy(s, buffer, &length);
    EXPECT_EQ(std::string(buffer, length), "7.5");
    kesti2_stringFree(s);

    kesti2_vectorSetNull(v.handle, 0);
    EXPECT_EQ(kesti2_vectorGetFloat(v.handle, 0, &value), ResultFailed);
    EXPECT_EQ(kesti2_vectorGetString(v.handle, 0, &s), ResultFailed);
}

TEST(VectorExports, AStringHandedOutIsAnIndependentCopy) {
    VectorOwner v;
    ASSERT_EQ(kesti2_vectorCreate(1, &v.handle), ResultOk);
    kesti2_vectorSetString(v.handle, 0, "first");
    StringHandle s = nullptr;
    ASSERT_EQ(kesti2_vectorGetString(v.handle, 0, &s), ResultOk);
    kesti2_vectorSetString(v.handle, 0, "second");
    char buffer[8];
    uint32_t length = sizeof buffer;
    kesti2_stringCopy(s, buffer, &length);
    EXPECT_EQ(std::string(buffer, length), "first");
    kesti2_stringFree(s);
}

TEST(VectorExports, IndexEqualToTheLengthIsRefusedEverywhere) {
    VectorOwner v;
    ASSERT_EQ(kesti2_vectorCreate(2, &v.handle), ResultOk);
    uint32_t type = 0;
    float value = 0;
    StringHandle s = nullptr;
    EXPECT_EQ(kesti2_vectorGetType(v.handle, 2, &type), ResultInvalidArgument);
    EXPECT_EQ(kesti2_vectorGetFloat(v.handle, 2, &value), ResultInvalidArgument);
    EXPECT_EQ(kesti2_vectorGetString(v.handle, 2, &s), ResultInvalidArgument);
    EXPECT_EQ(kesti2_vectorSetNull(v.handle, 2), ResultInvalidArgument);
    EXPECT_EQ(kesti2_vectorSetFloat(v.handle, 2, 1.0f), ResultInvalidArgument);
    EXPECT_EQ(kesti2_vectorSetString(v.handle, 2, "x"), ResultInvalidArgument);
    EXPECT_EQ(kesti2_vectorSetString(v.handle, 0, nullptr), ResultInvalidArgument);
    EXPECT_EQ(TypeOf(v.handle, 0), 0u);
}

TEST(VectorExports, NullAndZeroArgumentsStoreNothing) {
    VectorHandle v = reinterpret_cast<VectorHandle>(0x1234);
    EXPECT_EQ(kesti2_vectorCreate(0, &v), ResultInvalidArgument);
    EXPECT_EQ(v, reinterpret_cast<VectorHandle>(0x1234));
    EXPECT_EQ(kesti2_vectorCreate(1, nullptr), ResultInvalidArgument);
    uint32_t out = 7;
    EXPECT_EQ(kesti2_vectorGetLength(nullptr, &out), ResultInvalidArgument);
    EXPECT_EQ(kesti2_vectorGetType(nullptr, 0, &out), ResultInvalidArgument);
    EXPECT_EQ(out, 7u);
    EXPECT_EQ(kesti2_vectorSetNull(nullptr, 0), ResultInvalidArgument);
    EXPECT_EQ(kesti2_vectorFree(nullptr), ResultOk);
}

TEST(VectorExports, ExhaustedMemoryIsAFailureNotACrash) {
    VectorHandle v = nullptr;
    EXPECT_EQ(kesti2_vectorCreate(4294967295u, &v), ResultFailed);
    EXPECT_EQ(v, nullptr);
}

} // namespace
