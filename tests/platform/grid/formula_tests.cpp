#include <gtest/gtest.h>

#include <map>

#include "platform/grid/formula.h"
#include "platform/grid/number_format.h"

using namespace veltrano::grid;

namespace {

// A sheet of numbers and texts for the engine to read: A1..A3 = 1, 2, 3; B1 = text; B2 = 10.
CellNumber readSheet(int row, int col) {
  static const std::map<std::pair<int, int>, double> numbers = {
      {{1, 1}, 1}, {{2, 1}, 2}, {{3, 1}, 3}, {{2, 2}, 10}, {{1, 27}, 100}, {{2, 27}, 200}};
  auto it = numbers.find({row, col});
  if (it == numbers.end()) return {};
  return {it->second};
}

}  // namespace

TEST(ColumnNames, LettersForOneTwoAndThreeLetterColumns) {
  const std::vector<std::pair<int, std::string>> cases = {
      {1, "A"}, {26, "Z"}, {27, "AA"}, {30, "AD"}, {52, "AZ"}, {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {0, ""}};
  for (const auto& [n, name] : cases) {
    EXPECT_EQ(columnName(n), name) << n;
    if (n > 0) {
      EXPECT_EQ(columnNumber(name), n) << name;
    }
  }
  EXPECT_EQ(columnNumber("ad"), 30);
  EXPECT_EQ(columnNumber("A1"), 0);
  EXPECT_EQ(columnNumber(""), 0);
  EXPECT_EQ(columnNumber("ABCD"), 0);
}

TEST(FormulaEngine, EvaluatesSumsRangesAndArithmetic) {
  struct Case {
    const char* formula;
    double value;
  };
  const Case cases[] = {
      {"SUM(A1:A3)", 6},
      {"=SUM(A1:A3)", 6},
      {"sum(a1:a3)", 6},
      {"SUM(A1:A0)", 0},          // the sum over no data rows
      {"SUM(A3:A1)", 0},          // a reversed range is empty
      {"SUM(A1:B3)", 16},         // text in B1 and empty B3 add nothing
      {"SUM(AA1:AA2)", 300},      // two-letter columns
      {"SUM(A1:A3, 4, B2)", 20},
      {"SUM()", 0},
      {"A1+B2*2", 21},
      {"(A1+B2)*2", 22},
      {"-A3+1", -2},
      {"B1+1", 1},                // a text cell reads as nothing
      {"A2/4", 0.5},
      {"1.5e2 - 50", 100},
      {"  SUM( A1 : A2 ) ", 3},
  };
  for (const Case& c : cases) {
    auto parsed = Formula::parse(c.formula);
    ASSERT_TRUE(parsed) << c.formula << ": " << parsed.description;
    FormulaValue v = parsed.formula->evaluate(readSheet);
    EXPECT_TRUE(v.ok()) << c.formula;
    EXPECT_DOUBLE_EQ(v.number, c.value) << c.formula;
  }
}

TEST(FormulaEngine, RejectsMalformedTextWithAPosition) {
  struct Case {
    const char* formula;
    std::size_t position;
  };
  const Case cases[] = {
      {"", 0}, {"SUM(A1:A3", 9}, {"SUM(A1:)", 7}, {"AVG(A1:A3)", 0}, {"A1 +", 4}, {"A1 A2", 3}, {"A:A", 0}, {"1 +* 2", 3},
  };
  for (const Case& c : cases) {
    auto parsed = Formula::parse(c.formula);
    EXPECT_FALSE(parsed) << c.formula;
    EXPECT_EQ(parsed.position, c.position) << c.formula;
    EXPECT_FALSE(parsed.description.empty()) << c.formula;
  }
}

TEST(FormulaEngine, ErrorsPropagateThroughSumsAndArithmetic) {
  auto parsed = Formula::parse("SUM(A1:A3) + 1");
  ASSERT_TRUE(parsed);
  auto reader = [](int row, int) {
    if (row == 2) return CellNumber{std::nullopt, FormulaError::Cycle};
    return CellNumber{1.0};
  };
  EXPECT_EQ(parsed.formula->evaluate(reader).error, FormulaError::Cycle);
  auto div = Formula::parse("A1/0");
  ASSERT_TRUE(div);
  EXPECT_EQ(div.formula->evaluate(readSheet).error, FormulaError::DivisionByZero);
  EXPECT_EQ(formulaErrorText(FormulaError::DivisionByZero), "#DIV/0!");
}

TEST(NumberFormats, FormatAndParseWithTheCellsSettings) {
  struct Case {
    double v;
    int dec;
    bool sep;
    const char* decimal;
    const char* separator;
    const char* text;
  };
  const Case cases[] = {
      {1234567, 0, true, ".", ",", "1,234,567"},
      {1234567.891, 2, true, ".", ",", "1,234,567.89"},
      {-1234.5, 2, true, ".", ",", "-1,234.50"},
      {0.125, 2, false, ".", ",", "0.12"},  // half to even
      {0.135, 2, false, ".", ",", "0.14"},
      {2.5, 0, false, ".", ",", "2"},
      {1234.5, 1, true, ",", ".", "1.234,5"},
      {0, 2, true, ".", ",", "0.00"},
      {-0.001, 2, true, ".", ",", "0.00"},
  };
  for (const Case& c : cases) {
    NumberFormat f;
    f.decPlaces = c.dec;
    f.showSep = c.sep;
    f.decimal = c.decimal;
    f.separator = c.separator;
    EXPECT_EQ(formatNumber(c.v, f), c.text) << c.v;
  }
  NumberFormat f;
  EXPECT_EQ(parseNumber("1,234.50", f), 1234.5);
  EXPECT_EQ(parseNumber(" -12 ", f), -12);
  EXPECT_EQ(parseNumber("abc", f), std::nullopt);
  EXPECT_EQ(parseNumber("1.2.3", f), std::nullopt);
  EXPECT_EQ(parseNumber("", f), std::nullopt);
  f.decimal = ",";
  f.separator = ".";
  EXPECT_EQ(parseNumber("1.234,5", f), 1234.5);
  EXPECT_EQ(invariantNumber(0.5), "0.5");
  EXPECT_EQ(invariantNumber(-0.25), "-0.25");
  EXPECT_EQ(invariantNumber(1234567), "1234567");
}
