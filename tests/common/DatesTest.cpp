#include "common/Dates.h"

#include <gtest/gtest.h>

#include "common/Error.h"

namespace {

TEST(DatesTest, DayCountsFrom18991230) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_EQ(EncodeDate(1979, 12, 31), 29220.0);
    EXPECT_EQ(EncodeDate(2000, 2, 29), 36585.0);
}

TEST(DatesTest, DecodeRoundsToMilliseconds) {
    const TDateParts p = DecodeDateTime(EncodeDateTime({2004, 5, 6, 13, 45, 31, 999}));
    EXPECT_EQ(p.Year, 2004);
    EXPECT_EQ(p.Month, 5);
    EXPECT_EQ(p.Day, 6);
    EXPECT_EQ(p.Hour, 13);
    EXPECT_EQ(p.Minute, 45);
    EXPECT_EQ(p.Second, 31);
    EXPECT_EQ(p.Millisecond, 999);
}

TEST(DatesTest, InvalidPartsRaise) {
    EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(2004, 13, 1), EConvertError);
    EXPECT_THROW(EncodeDateTime({2004, 1, 1, 24, 0, 0, 0}), EConvertError);
}

TEST(DatesTest, DosFormDropsOddSecondsAndMilliseconds) {
    const TDateTime t = EncodeDateTime({2004, 5, 6, 13, 45, 31, 500});
    const uint32_t dos = DateTimeToDos(t);
    EXPECT_EQ(dos >> 16, 6u | 5u << 5 | 24u << 9);
    EXPECT_EQ(dos & 0xFFFF, 15u | 45u << 5 | 13u << 11);
    EXPECT_EQ(DosToDateTime(dos), EncodeDateTime({2004, 5, 6, 13, 45, 30, 0}));
}

TEST(DatesTest, YearsOutsideDosRangeStoreZero) {
    EXPECT_EQ(DateTimeToDos(0.0), 0u);
    EXPECT_EQ(DateTimeToDos(EncodeDate(1975, 6, 1)), 0u);
    EXPECT_EQ(DateTimeToDos(EncodeDate(2100, 1, 1)), 0u);
    EXPECT_NE(DateTimeToDos(EncodeDate(1980, 1, 1)), 0u);
    EXPECT_NE(DateTimeToDos(EncodeDateTime({2099, 12, 31, 23, 59, 59, 0})), 0u);
}

TEST(DatesTest, StoredZeroReadsAsLastDayOf1979) {
    EXPECT_EQ(DosToDateTime(0), 29220.0);
}

TEST(DatesTest, InvalidStoredFieldsRaise) {
    const uint32_t monthZero = (1u | 0u << 5 | 24u << 9) << 16;
    const uint32_t dayZero = (0u | 1u << 5 | 24u << 9) << 16;
    const uint32_t hour25 = (1u | 1u << 5 | 24u << 9) << 16 | 25u << 11;
    EXPECT_THROW(DosToDateTime(monthZero), EConvertError);
    EXPECT_THROW(DosToDateTime(dayZero), EConvertError);
    EXPECT_THROW(DosToDateTime(hour25), EConvertError);
}

TEST(DatesTest, UnixSeconds) {
    EXPECT_EQ(UnixToDateTime(0), 25569.0);
    EXPECT_EQ(DateTimeToUnix(EncodeDateTime({2004, 5, 6, 13, 45, 30, 0})), 1083851130);
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1083851131)), 1083851131);
}

}  // namespace
