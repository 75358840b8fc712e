#include "format/time_stamp.h"

#include <gtest/gtest.h>

#include <ostream>

namespace lha::format {
namespace {

struct UnixCase {
  int64_t unix_seconds;
  CivilTime civil;
};

void PrintTo(const UnixCase& c, std::ostream* os) {
  *os << c.unix_seconds;
}

class UnixCivil : public ::testing::TestWithParam<UnixCase> {};

TEST_P(UnixCivil, ConvertsBothWays) {
  EXPECT_EQ(CivilFromUnix(GetParam().unix_seconds), GetParam().civil);
  EXPECT_EQ(UnixFromCivil(GetParam().civil), GetParam().unix_seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnixCivil,
    ::testing::Values(UnixCase{0, {1970, 1, 1, 0, 0, 0}},
                      UnixCase{1709648626, {2024, 3, 5, 14, 23, 46}},
                      UnixCase{951782400, {2000, 2, 29, 0, 0, 0}},      // leap day, 400-year rule
                      UnixCase{4107542399, {2100, 2, 28, 23, 59, 59}},  // 2100 is no leap year
                      UnixCase{4107542400, {2100, 3, 1, 0, 0, 0}},
                      UnixCase{4294967295, {2106, 2, 7, 6, 28, 15}},  // last 32-bit header time
                      UnixCase{-1, {1969, 12, 31, 23, 59, 59}},
                      UnixCase{-62135596800, {1, 1, 1, 0, 0, 0}}));

struct DosCase {
  uint32_t dos;
  CivilTime civil;
};

void PrintTo(const DosCase& c, std::ostream* os) {
  *os << std::hex << "0x" << c.dos;
}

class DosCivil : public ::testing::TestWithParam<DosCase> {};

TEST_P(DosCivil, ConvertsBothWays) {
  const std::optional<CivilTime> civil = CivilFromDos(GetParam().dos);
  ASSERT_TRUE(civil.has_value());
  EXPECT_EQ(*civil, GetParam().civil);
  EXPECT_EQ(DosFromCivil(GetParam().civil), GetParam().dos);
}

INSTANTIATE_TEST_SUITE_P(Table, DosCivil,
                         ::testing::Values(DosCase{0x586572F7, {2024, 3, 5, 14, 23, 46}},
                                           DosCase{0x00210000, {1980, 1, 1, 0, 0, 0}},
                                           DosCase{0xFF9FBF7D, {2107, 12, 31, 23, 59, 58}},
                                           DosCase{0x3C210000, {2010, 1, 1, 0, 0, 0}}));

TEST(DosTime, OddSecondsRoundDown) {
  EXPECT_EQ(DosFromCivil({2024, 3, 5, 14, 23, 47}), 0x586572F7u);
}

TEST(DosTime, ClampsToTheRepresentableRange) {
  EXPECT_EQ(DosFromCivil({1979, 12, 31, 23, 59, 59}), 0x00210000u);
  EXPECT_EQ(DosFromCivil({2200, 6, 1, 12, 0, 0}), 0xFF9FBF7Du);
}

TEST(DosTime, RejectsValuesThatAreNoDate) {
  EXPECT_FALSE(CivilFromDos(0));                           // "no time" of some writers
  EXPECT_FALSE(CivilFromDos(0x586572F7 & ~(0xFu << 21)));  // month 0
  EXPECT_FALSE(CivilFromDos((0x586572F7 & ~(0xFu << 21)) | (13u << 21)));   // month 13
  EXPECT_FALSE(CivilFromDos(0x586572F7 & ~(0x1Fu << 16)));                  // day 0
  EXPECT_FALSE(CivilFromDos((0x586572F7 & ~(0x1Fu << 11)) | (24u << 11)));  // hour 24
  EXPECT_FALSE(CivilFromDos((0x586572F7 & ~(0x3Fu << 5)) | (60u << 5)));    // minute 60
  EXPECT_FALSE(CivilFromDos((0x586572F7 & ~0x1Fu) | 30u));                  // second 60
}

TEST(FileTime, UnixEpochAndFloor) {
  EXPECT_EQ(UnixFromFileTime(116444736000000000ull), 0);
  EXPECT_EQ(UnixFromFileTime(116444736000000000ull + 9999999), 0);
  EXPECT_EQ(UnixFromFileTime(116444736000000000ull - 1), -1);
  EXPECT_EQ(UnixFromFileTime(0), -11644473600);
  EXPECT_EQ(FileTimeFromUnix(0), 116444736000000000ull);
  EXPECT_EQ(FileTimeFromUnix(1709648626, 123456789), 133541222261234567ull);
  EXPECT_EQ(UnixFromFileTime(FileTimeFromUnix(1709648626, 999999999)), 1709648626);
}

TEST(FileTime, OutOfRangeSaturates) {
  EXPECT_EQ(FileTimeFromUnix(-11644473601), 0u);
  EXPECT_EQ(FileTimeFromUnix(INT64_MAX), UINT64_MAX);
}

TEST(LocalTime, UtcAsLocalIsTheIdentity) {
  const LocalTime utc = UtcAsLocalTime();
  EXPECT_EQ(utc.to_local(1709648626), (CivilTime{2024, 3, 5, 14, 23, 46}));
  EXPECT_EQ(utc.from_local({2024, 3, 5, 14, 23, 46}), 1709648626);
}

}  // namespace
}  // namespace lha::format
