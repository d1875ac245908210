// The data access class and its parts where no data service is needed.
#include <gtest/gtest.h>

#include "datalib_fixture.h"
#include "lumadata/dictionary.h"
#include "lumadata/vbf.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/ui/scripted_ui.h"
#include "tmr_frm.h"
#include "transaction.h"

using namespace veltrano;
using datalib_test::Fixture;
using datalib_test::setServerPath;
using lumadata::VBF;

TEST(Dictionary, KeepsInsertionOrderAndComparesKeysByBytes) {
  lumadata::Dictionary d;
  d.Add("zeta", Variant("1"));
  d.Add("Alpha", Variant("2"));
  d.Add("alpha", Variant("3"));  // another key: case matters
  d.Add("이름", Variant("4"));
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"zeta", "Alpha", "alpha", "이름"}));
  EXPECT_EQ(d.Count(), 4);
  EXPECT_TRUE(d.Exists("alpha"));
  EXPECT_FALSE(d.Exists("ALPHA"));
  EXPECT_EQ(d.Item("Alpha"), Variant("2"));
  EXPECT_TRUE(d.Item("ALPHA").isEmpty());
  EXPECT_EQ(d.Count(), 4);  // reading a missing key adds nothing
  d.setItem("zeta", Variant("9"));
  d.setItem("new", Variant("5"));
  EXPECT_EQ(d.Items(), (std::vector<Variant>{Variant("9"), Variant("2"), Variant("3"), Variant("4"), Variant("5")}));
}

TEST(Dictionary, RemoveKeepsTheOrderOfTheRestAndErrorsCarryTheRuntimeNumbers) {
  lumadata::Dictionary d;
  for (const char* k : {"a", "b", "c", "d"}) d.Add(k, Variant(k));
  d.Remove("b");
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"a", "c", "d"}));
  EXPECT_EQ(d.Item("d"), Variant("d"));  // positions after the removed entry still found
  d.setItem("c", Variant("C"));
  EXPECT_EQ(d.Items()[1], Variant("C"));
  try {
    d.Add("a", Variant(""));
    FAIL() << "no error for a duplicate key";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 457);
  }
  try {
    d.Remove("b");
    FAIL() << "no error for a missing key";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 32811);
  }
  d.RemoveAll();
  EXPECT_EQ(d.Count(), 0);
  d.Add("a", Variant("again"));
  EXPECT_EQ(d.Keys(), std::vector<std::string>{"a"});
}

TEST(Watchdog, RaisesItsEventOnThe31stTickAndUnloads) {
  ManualClock clock;
  ScopedClock useClock(clock);
  ui::ScriptedUi scripted;
  ui::ScopedUi scope(scripted);
  lumadata::TMR_FRM form;
  int raised = 0;
  form.ClosedThisProcesure = [&] { ++raised; };
  form.Load();
  for (int tick = 1; tick <= 30; ++tick) {
    clock.advance(1000);
    ui::DoEvents();
  }
  EXPECT_EQ(raised, 0);
  EXPECT_EQ(form.tickCount(), 30);
  clock.advance(999);
  ui::DoEvents();
  EXPECT_EQ(raised, 0);  // a tick is 1,000 ms
  clock.advance(1);
  ui::DoEvents();
  EXPECT_EQ(raised, 1);
  EXPECT_FALSE(form.loaded());
  for (int i = 0; i < 5; ++i) {
    clock.advance(1000);
    ui::DoEvents();
  }
  EXPECT_EQ(raised, 1);  // unloaded: no more ticks
  form.Load();          // a new load counts from 0 again
  for (int i = 0; i < 31; ++i) {
    clock.advance(1000);
    ui::DoEvents();
  }
  EXPECT_EQ(raised, 2);
}

TEST(VbfServerUrl, BlankRegistryValueFallsBackToTheDefaultAddress) {
  Fixture f;
  test::ScopedEnv host("VELTRANO_APP_HOST", "apps.example.test:8081");
  setServerPath("   ");
  VBF db;
  db.DB_OPEN("tarvic");
  EXPECT_EQ(db.serverUrl(), "http://apps.example.test:8081/Database/ORVEX/");
  EXPECT_TRUE(f.scripted.shown().empty());
}

TEST(VbfOpen, ConnectionTypeIsXmlOnlyForExactlyXml) {
  Fixture f;
  test::ScopedEnv host("VELTRANO_APP_HOST", "127.0.0.1:9");
  VBF db;
  db.DB_OPEN("a");
  EXPECT_EQ(db.connectionType(), "XML");
  db.DB_OPEN("a", "xml");
  EXPECT_EQ(db.connectionType(), "DIRECT");
  db.DB_OPEN("a", "DIRECT");
  EXPECT_EQ(db.connectionType(), "DIRECT");
  EXPECT_TRUE(db.DB_OPEN("b", "XML").isEmpty());
  EXPECT_EQ(db.connectionType(), "XML");
  EXPECT_EQ(db.databaseName(), "b");
}

TEST(VbfNotices, Utf16LengthCountsUnitsNotBytes) {
  EXPECT_EQ(lumadata::utf16Length(""), 0u);
  EXPECT_EQ(lumadata::utf16Length("abc"), 3u);
  EXPECT_EQ(lumadata::utf16Length("가나"), 2u);
  EXPECT_EQ(lumadata::utf16Length("a𝄞"), 3u);
}

TEST(VbfNotices, ObjectDestroyedWithoutOpenStillAnnouncesCompletion) {
  Fixture f;
  { VBF db; }
  EXPECT_EQ(f.monitor.notices(), std::vector<std::string>{"TR_COMPLETE|"});
}
