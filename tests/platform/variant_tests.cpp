#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "platform/runtime/variant.h"

using veltrano::DateValue;
using veltrano::RuntimeError;
using veltrano::Variant;

namespace {
int errorOf(auto f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}
}  // namespace

TEST(Variant, ConversionsFollowTheRunTime) {
  EXPECT_EQ(Variant().toString(), "");
  EXPECT_EQ(Variant(true).toString(), "True");
  EXPECT_EQ(Variant(std::int16_t{-5}).toString(), "-5");
  EXPECT_EQ(Variant("12.5").toDouble(), 12.5);
  EXPECT_EQ(Variant(2.5).toInt16(), 2);
  EXPECT_EQ(Variant(true).toDouble(), -1);
  EXPECT_EQ(Variant(veltrano::Null).toText(), "");
}

TEST(Variant, ErrorsOfConversions) {
  EXPECT_EQ(errorOf([] { Variant(veltrano::Null).toString(); }), 94);
  EXPECT_EQ(errorOf([] { Variant("abc").toDouble(); }), 13);
  EXPECT_EQ(errorOf([] { Variant(40000.0).toInt16(); }), 6);
}

TEST(Variant, DatesRoundTripThroughSerials) {
  auto d = veltrano::makeDate(1899, 12, 30);
  EXPECT_EQ(d.serial, 0);
  auto d2 = veltrano::makeDate(2026, 12, 7, 13, 45, 30);
  auto p = veltrano::splitDate(d2);
  EXPECT_EQ(p.year, 2026);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 7);
  EXPECT_EQ(p.hour, 13);
  EXPECT_EQ(p.minute, 45);
  EXPECT_NEAR(p.second, 30, 1e-6);
  EXPECT_EQ(Variant(d2).toString(), "2026-12-07 13:45:30");
  EXPECT_EQ(Variant("2026-12-07").toDate(), veltrano::makeDate(2026, 12, 7));
}
