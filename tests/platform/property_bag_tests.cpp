#include <gtest/gtest.h>

#include "platform/runtime/property_bag.h"

using namespace veltrano;

TEST(PropertyBag, ReadGivesStoredValueOrDefault) {
  PropertyBag bag;
  bag.set("CHUNK", Variant(std::int32_t{65536}));
  EXPECT_EQ(bag.ReadProperty("CHUNK", Variant(std::int32_t{512})).toInt32(), 65536);
  EXPECT_EQ(bag.ReadProperty("URL", Variant("")).toString(), "");
  EXPECT_EQ(bag.log(), (std::vector<PropertyBag::Access>{{PropertyBag::Access::Read, "CHUNK"},
                                                          {PropertyBag::Access::Read, "URL"}}));
}

TEST(PropertyBag, WritingTheDefaultStoresNothing) {
  PropertyBag bag;
  bag.WriteProperty("Max", Variant(std::int32_t{100}), Variant(std::int32_t{100}));
  bag.WriteProperty("Min", Variant(std::int32_t{5}), Variant(std::int32_t{0}));
  EXPECT_FALSE(bag.contains("Max"));
  EXPECT_TRUE(bag.contains("Min"));
  bag.WriteProperty("Min", Variant(std::int32_t{0}), Variant(std::int32_t{0}));
  EXPECT_FALSE(bag.contains("Min"));  // back to the default: the stored value goes
}

TEST(PropertyBag, TextFormRoundTripsTypes) {
  PropertyBag bag;
  bag.set("URL", Variant("http://127.0.0.1/a b\r\n가"));
  bag.set("CHUNK", Variant(std::int32_t{65536}));
  bag.set("KeepType", Variant(true));
  bag.set("Ratio", Variant(1.5));
  PropertyBag back = PropertyBag::fromText(bag.toText() + "garbage line\n=x:y\n");
  EXPECT_EQ(back.values(), bag.values());
}

TEST(Font, TextFormRoundTripsAndFallsBack) {
  Font f{"굴림체", 10.5, true, false, true, false, 129};
  EXPECT_EQ(fontFromText(fontToText(f), Font{}), f);
  Font fallback{"Verdana", 8};
  EXPECT_EQ(fontFromText("nonsense", fallback), fallback);
}
