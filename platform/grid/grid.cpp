#include "platform/grid/grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <unordered_set>

#include "platform/grid/print_layout.h"
#include "platform/grid/recordset_source.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"

namespace veltrano::grid {
namespace {

constexpr const char* kSource = "Grid";

[[noreturn]] void invalidValue(const std::string& what) {
  throw RuntimeError(kInvalidPropertyValue, kSource, "Invalid property value: " + what);
}
void requireRange(double v, double lo, double hi, const char* what) {
  if (!(v >= lo && v <= hi)) invalidValue(what);
}
void requireColour(std::uint32_t c, const char* what) {
  if (!isValidColour(c)) invalidValue(what);
}

std::unordered_set<const Grid*>& liveGrids() {
  static std::unordered_set<const Grid*> grids;
  return grids;
}

// Moves the entries of a cell-keyed map whose cell lies in the given rows and columns to the
// cell `to` names (used by sort).
template <class Map, class To>
void remap(Map& m, int row1, int row2, int col1, int col2, To to) {
  std::vector<std::pair<std::uint64_t, typename Map::mapped_type>> moved;
  for (auto it = m.begin(); it != m.end();) {
    int r = static_cast<int>(it->first >> 32), c = static_cast<int>(it->first & 0xffffffffu);
    if (r >= row1 && r <= row2 && c >= col1 && c <= col2) {
      auto [nr, nc] = to(r, c);
      moved.emplace_back((static_cast<std::uint64_t>(static_cast<std::uint32_t>(nr)) << 32) |
                             static_cast<std::uint32_t>(nc),
                         std::move(it->second));
      it = m.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [k, v] : moved) m[k] = std::move(v);
}

template <class Map>
void eraseBeyond(Map& m, int maxRow, int maxCol) {
  for (auto it = m.begin(); it != m.end();) {
    int r = static_cast<int>(it->first >> 32), c = static_cast<int>(it->first & 0xffffffffu);
    if (r > maxRow || c > maxCol) it = m.erase(it);
    else ++it;
  }
}

}  // namespace

bool isValidColour(std::uint32_t c) { return c <= 0xFFFFFFu || (c >= 0x80000000u && c <= 0x80000018u); }

std::uint32_t rgbOf(std::uint32_t c) {
  if (c <= 0xFFFFFFu) return c;
  switch (c & 0xFF) {
    case 5: case 14: case 20: return 0xFFFFFF;  // window, highlight text, button highlight
    case 8: case 18: case 7: case 9: case 23: return 0x000000;  // texts
    case 13: return 0xD77800;  // highlight (0, 120, 215)
    case 15: case 4: return 0xF0F0F0;  // button face, menu
    case 16: return 0xA0A0A0;  // button shadow
    case 0: return 0xC8C8C8;   // scroll bar
    default: return 0xC0C0C0;
  }
}

Grid::Grid() {
  hwnd_ = ui::registerWindow(this);
  liveGrids().insert(this);
}

Grid::~Grid() {
  liveGrids().erase(this);
  ui::unregisterWindow(hwnd_);
}

Grid* Grid::fromHwnd(ui::Hwnd h) {
  auto* p = static_cast<Grid*>(ui::windowObject(h));
  return p && liveGrids().count(p) ? p : nullptr;
}

void Grid::Reset() {
  s_ = State{};
  notify(GridChange::Everything);
}

void Grid::Refresh() {
  if (s_.redraw) notify(GridChange::Everything);
}

// ---------------------------------------------------------------- listeners

void Grid::addListener(GridListener* l) { listeners_.push_back(l); }
void Grid::removeListener(GridListener* l) { std::erase(listeners_, l); }

void Grid::notify(GridChange::Kind kind, Block cells) {
  if (!s_.redraw) {
    s_.redrawPending = true;
    return;
  }
  GridChange ch{kind, cells};
  for (GridListener* l : std::vector<GridListener*>(listeners_)) l->gridChanged(ch);
}

void Grid::contentChanged(Block cells) {
  if (s_.autoCalc) ++s_.generation;
  notify(GridChange::Cells, cells);
}

void Grid::ReDraw(bool on) {
  bool was = s_.redraw;
  s_.redraw = on;
  if (on && !was && s_.redrawPending) {
    s_.redrawPending = false;
    notify(GridChange::Everything);
  }
}

void Grid::AutoCalc(bool on) {
  s_.autoCalc = on;
  if (on) {
    ++s_.generation;
    notify(GridChange::Cells, {1, 1, s_.maxCols, s_.maxRows});
  }
}

// ---------------------------------------------------------------- size and position

void Grid::MaxRows(int n) {
  if (n < 0 || n > kMaxRowsLimit) invalidValue("MaxRows");
  int old = s_.maxRows;
  s_.maxRows = n;
  if (n < old) truncateRows();
  if (s_.topRow > std::max(1, n)) s_.topRow = std::max(1, n);
  ++s_.generation;
  notify(GridChange::Everything);
}

void Grid::MaxCols(int n) {
  if (n < 0 || n > kMaxColsLimit) invalidValue("MaxCols");
  int old = s_.maxCols;
  s_.maxCols = n;
  if (n < old) truncateCols();
  if (s_.leftCol > std::max(1, n)) s_.leftCol = std::max(1, n);
  ++s_.generation;
  notify(GridChange::Everything);
}

void Grid::truncateRows() {
  const int n = s_.maxRows;
  if (s_.cells.size() > static_cast<std::size_t>(n) + 1) s_.cells.resize(static_cast<std::size_t>(n) + 1);
  if (s_.rows.size() > static_cast<std::size_t>(n) + 1) s_.rows.resize(static_cast<std::size_t>(n) + 1);
  eraseBeyond(s_.formulas, n, kMaxColsLimit);
  eraseBeyond(s_.cellAttrs, n, kMaxColsLimit);
  eraseBeyond(s_.borders, n, kMaxColsLimit);
  std::erase_if(s_.rowAttrs, [n](const auto& e) { return e.first > n; });
}

void Grid::truncateCols() {
  const std::size_t limit = static_cast<std::size_t>(s_.maxCols) + 1;
  for (auto& row : s_.cells)
    if (row.size() > limit) row.resize(limit);
  if (s_.cols.size() > limit) s_.cols.resize(limit);
  eraseBeyond(s_.formulas, kMaxRowsLimit, s_.maxCols);
  eraseBeyond(s_.cellAttrs, kMaxRowsLimit, s_.maxCols);
  eraseBeyond(s_.borders, kMaxRowsLimit, s_.maxCols);
  const int n = s_.maxCols;
  std::erase_if(s_.colAttrs, [n](const auto& e) { return e.first > n; });
}

void Grid::Row(int r) {
  if (r < -1) invalidValue("Row");
  s_.row = r;
}
void Grid::Col(int c) {
  if (c < -1) invalidValue("Col");
  s_.col = c;
}
void Grid::Row2(int r) {
  if (r < -1) invalidValue("Row2");
  s_.row2 = r;
}
void Grid::col2(int c) {
  if (c < -1) invalidValue("col2");
  s_.col2 = c;
}

void Grid::TopRow(int r) {
  s_.topRow = std::clamp(r, s_.rowsFrozen + 1, std::max(s_.rowsFrozen + 1, s_.maxRows));
  notify(GridChange::Layout);
}
void Grid::LeftCol(int c) {
  s_.leftCol = std::clamp(c, s_.colsFrozen + 1, std::max(s_.colsFrozen + 1, s_.maxCols));
  notify(GridChange::Layout);
}
void Grid::ColsFrozen(int n) {
  if (n < 0) invalidValue("ColsFrozen");
  s_.colsFrozen = n;
  notify(GridChange::Layout);
}
void Grid::RowsFrozen(int n) {
  if (n < 0) invalidValue("RowsFrozen");
  s_.rowsFrozen = n;
  notify(GridChange::Layout);
}

int Grid::DataRowCnt() const {
  for (std::size_t r = s_.cells.size(); r-- > 1;)
    for (std::size_t c = 1; c < s_.cells[r].size(); ++c)
      if (s_.cells[r][c].kind != Kind::Empty) return static_cast<int>(r);
  return 0;
}

int Grid::DataColCnt() const {
  int last = 0;
  for (std::size_t r = 1; r < s_.cells.size(); ++r)
    for (std::size_t c = s_.cells[r].size(); c-- > static_cast<std::size_t>(last) + 1;)
      if (s_.cells[r][c].kind != Kind::Empty) {
        last = static_cast<int>(c);
        break;
      }
  return last;
}

Grid::Range Grid::target() const {
  Range r{};
  if (s_.blockMode) {
    r.allRows = s_.row == -1 || s_.row2 == -1;
    r.allCols = s_.col == -1 || s_.col2 == -1;
    r.row1 = std::min(s_.row, s_.row2);
    r.row2 = std::max(s_.row, s_.row2);
    r.col1 = std::min(s_.col, s_.col2);
    r.col2 = std::max(s_.col, s_.col2);
  } else {
    r.allRows = s_.row == -1;
    r.allCols = s_.col == -1;
    r.row1 = r.row2 = s_.row;
    r.col1 = r.col2 = s_.col;
  }
  if (r.allRows) {
    r.row1 = 1;
    r.row2 = s_.maxRows;
  }
  if (r.allCols) {
    r.col1 = 1;
    r.col2 = s_.maxCols;
  }
  r.row2 = std::min(r.row2, s_.maxRows);
  r.col2 = std::min(r.col2, s_.maxCols);
  return r;
}

template <class F>
void Grid::forEachCell(const Range& r, F&& f) const {
  for (int row = std::max(0, r.row1); row <= r.row2; ++row)
    for (int col = std::max(0, r.col1); col <= r.col2; ++col) f(row, col);
}

// ---------------------------------------------------------------- cell storage

const Grid::Cell* Grid::cellAt(int row, int col) const {
  if (row < 0 || col < 0 || static_cast<std::size_t>(row) >= s_.cells.size()) return nullptr;
  const auto& r = s_.cells[static_cast<std::size_t>(row)];
  return static_cast<std::size_t>(col) < r.size() ? &r[static_cast<std::size_t>(col)] : nullptr;
}

Grid::Cell& Grid::cellRef(int row, int col) {
  if (s_.cells.size() <= static_cast<std::size_t>(row)) s_.cells.resize(static_cast<std::size_t>(row) + 1);
  auto& r = s_.cells[static_cast<std::size_t>(row)];
  if (r.size() <= static_cast<std::size_t>(col)) r.resize(static_cast<std::size_t>(col) + 1);
  return r[static_cast<std::size_t>(col)];
}

Grid::Cell Grid::makeCell(int row, int col, const std::string& text, bool asValue) const {
  Cell c;
  if (text.empty()) return c;
  if (row > 0 && col > 0 && celltype::isNumber(cellTypeAt(row, col))) {
    NumberFormat f = numberFormatAt(row, col);
    std::optional<double> v;
    if (asValue) {
      if (text::IsNumeric(text)) v = text::ParseNumber(text);
    } else {
      v = parseNumber(text, f);
    }
    if (!v) throw RuntimeError(err::kTypeMismatch, kSource, "Type mismatch: \"" + text + "\" is not a number");
    if (*v < f.min || *v > f.max) invalidValue("number outside TypeNumberMin..TypeNumberMax");
    c.kind = Kind::Number;
    c.number = *v;
    return c;
  }
  c.kind = Kind::Text;
  c.text = text;
  if (text::IsNumeric(text)) {
    c.numeric = true;
    c.number = text::ParseNumber(text);
  }
  return c;
}

void Grid::writeCells(const Range& r, const std::function<Cell(int, int)>& make) {
  // Every new cell is made before any is stored, so a rejected value leaves the range as it was.
  std::vector<std::pair<std::uint64_t, Cell>> made;
  forEachCell(r, [&](int row, int col) { made.emplace_back(key(row, col), make(row, col)); });
  if (made.empty()) return;
  for (auto& [k, cell] : made) {
    int row = static_cast<int>(k >> 32), col = static_cast<int>(k & 0xffffffffu);
    if (cell.kind == Kind::Empty && !cellAt(row, col)) continue;
    if (cell.kind != Kind::Formula) s_.formulas.erase(k);
    cellRef(row, col) = std::move(cell);
  }
  contentChanged({std::max(0, r.col1), std::max(0, r.row1), r.col2, r.row2});
}

std::string Grid::Text() const { return textAt(s_.row, s_.col); }

void Grid::Text(const std::string& t) {
  writeCells(target(), [&](int row, int col) { return makeCell(row, col, t, false); });
}

std::string Grid::Value() const { return valueAt(s_.row, s_.col); }

void Grid::Value(const std::string& v) {
  writeCells(target(), [&](int row, int col) { return makeCell(row, col, v, true); });
}

std::string Grid::Formula() const { return formulaAt(s_.row, s_.col); }

void Grid::Formula(const std::string& f) {
  if (text::Trim(f).empty()) {
    writeCells(target(), [](int, int) { return Cell{}; });
    return;
  }
  auto parsed = Formula::parse(f);
  if (!parsed) invalidValue("formula \"" + f + "\" (" + parsed.description + ")");
  Range r = target();
  bool any = false;
  forEachCell(r, [&](int row, int col) {
    Cell& c = cellRef(row, col);
    c = Cell{};
    c.kind = Kind::Formula;
    c.text = parsed.formula->source();
    s_.formulas[key(row, col)] = FormulaCell{*parsed.formula};
    any = true;
  });
  if (any) contentChanged({std::max(0, r.col1), std::max(0, r.row1), r.col2, r.row2});
}

FormulaValue Grid::evaluate(int row, int col) const {
  auto it = s_.formulas.find(key(row, col));
  if (it == s_.formulas.end()) return {};
  const FormulaCell& fc = it->second;
  if (fc.generation == s_.generation || (!s_.autoCalc && fc.generation != 0)) return fc.value;
  if (fc.evaluating) return {0, FormulaError::Cycle};
  fc.evaluating = true;
  FormulaValue v = fc.formula.evaluate([this](int r, int c) { return numberAt(r, c); });
  fc.evaluating = false;
  fc.value = v;
  fc.generation = s_.generation;
  return v;
}

CellNumber Grid::numberAt(int row, int col) const {
  const Cell* c = cellAt(row, col);
  if (!c || !inGrid(row, col)) return {};
  switch (c->kind) {
    case Kind::Empty: return {};
    case Kind::Text: return c->numeric ? CellNumber{c->number} : CellNumber{};
    case Kind::Number: return {c->number};
    case Kind::Formula: {
      FormulaValue v = evaluate(row, col);
      if (!v.ok()) return {std::nullopt, v.error};
      return {v.number};
    }
  }
  return {};
}

std::string Grid::displayText(int row, int col, const Cell& c) const {
  const bool header = row == 0 || col == 0;
  const bool number = !header && celltype::isNumber(cellTypeAt(row, col));
  switch (c.kind) {
    case Kind::Empty: return "";
    case Kind::Text:
      if (!number) return c.text;
      return c.numeric ? formatNumber(c.number, numberFormatAt(row, col)) : "";
    case Kind::Number: return number ? formatNumber(c.number, numberFormatAt(row, col)) : invariantNumber(c.number);
    case Kind::Formula: {
      FormulaValue v = evaluate(row, col);
      if (!v.ok()) return formulaErrorText(v.error);
      return number ? formatNumber(v.number, numberFormatAt(row, col)) : invariantNumber(v.number);
    }
  }
  return "";
}

bool Grid::showsNumberAt(int row, int col) const {
  if (row <= 0 || col <= 0 || !inGrid(row, col)) return false;
  const Cell* c = cellAt(row, col);
  if (!c) return false;
  switch (c->kind) {
    case Kind::Empty: return false;
    case Kind::Text: return c->numeric && celltype::isNumber(cellTypeAt(row, col));
    case Kind::Number: return true;
    case Kind::Formula: return evaluate(row, col).ok();
  }
  return false;
}

std::string Grid::textAt(int row, int col) const {
  if (!inGrid(row, col)) return "";
  const Cell* c = cellAt(row, col);
  return c ? displayText(row, col, *c) : "";
}

std::string Grid::valueAt(int row, int col) const {
  if (!inGrid(row, col)) return "";
  const Cell* c = cellAt(row, col);
  if (!c) return "";
  switch (c->kind) {
    case Kind::Empty: return "";
    case Kind::Text: return c->text;
    case Kind::Number: return invariantNumber(c->number);
    case Kind::Formula: {
      FormulaValue v = evaluate(row, col);
      return v.ok() ? invariantNumber(v.number) : formulaErrorText(v.error);
    }
  }
  return "";
}

std::string Grid::formulaAt(int row, int col) const {
  if (!inGrid(row, col)) return "";
  const Cell* c = cellAt(row, col);
  return c && c->kind == Kind::Formula ? c->text : "";
}

std::string Grid::colHeaderText(int col) const {
  std::string t = textAt(0, col);
  if (!t.empty()) return t;
  switch (s_.colHeadersAutoText) {
    case 1: return std::to_string(col);
    case 2: return columnName(col);
    default: return "";
  }
}

std::string Grid::rowHeaderText(int row) const {
  std::string t = textAt(row, 0);
  if (!t.empty()) return t;
  switch (s_.rowHeadersAutoText) {
    case 1: return std::to_string(row);
    case 2: return columnName(row);
    default: return "";
  }
}

// ---------------------------------------------------------------- cell attributes

const Grid::Slot* Grid::resolve(int row, int col, Attr a) const {
  const Slot* best = s_.sheet[a].seq ? &s_.sheet[a] : nullptr;
  auto consider = [&](const Slot& s) {
    if (s.seq && (!best || s.seq > best->seq)) best = &s;
  };
  if (!s_.colAttrs.empty())
    if (auto it = s_.colAttrs.find(col); it != s_.colAttrs.end()) consider(it->second[a]);
  if (!s_.rowAttrs.empty())
    if (auto it = s_.rowAttrs.find(row); it != s_.rowAttrs.end()) consider(it->second[a]);
  if (!s_.cellAttrs.empty())
    if (auto it = s_.cellAttrs.find(key(row, col)); it != s_.cellAttrs.end()) consider(it->second[a]);
  return best;
}

double Grid::attrNum(int row, int col, Attr a) const {
  if (const Slot* s = resolve(row, col, a)) return s->num;
  static const NumberFormat defaults;
  switch (a) {
    case kCellType: return celltype::Edit;
    case kNumMin: return defaults.min;
    case kNumMax: return defaults.max;
    case kDecPlaces: return defaults.decPlaces;
    case kShowSep: return defaults.showSep ? 1 : 0;
    case kHAlign: return celltype::isNumber(cellTypeAt(row, col)) ? 1 : 0;
    case kVAlign: return 0;
    case kForeColor: return 0x80000008u;
    case kBackColor: return 0x80000005u;
    default: return 0;
  }
}

std::string Grid::attrStr(int row, int col, Attr a) const {
  if (const Slot* s = resolve(row, col, a)) return s->str;
  return a == kDecimal ? "." : ",";
}

int Grid::cellTypeAt(int row, int col) const { return static_cast<int>(attrNum(row, col, kCellType)); }

NumberFormat Grid::numberFormatAt(int row, int col) const {
  NumberFormat f;
  f.min = attrNum(row, col, kNumMin);
  f.max = attrNum(row, col, kNumMax);
  f.decPlaces = static_cast<int>(attrNum(row, col, kDecPlaces));
  f.decimal = attrStr(row, col, kDecimal);
  f.showSep = attrNum(row, col, kShowSep) != 0;
  f.separator = attrStr(row, col, kSeparator);
  return f;
}

int Grid::hAlignAt(int row, int col) const { return static_cast<int>(attrNum(row, col, kHAlign)); }
int Grid::vAlignAt(int row, int col) const { return static_cast<int>(attrNum(row, col, kVAlign)); }
std::uint32_t Grid::foreColorAt(int row, int col) const {
  return static_cast<std::uint32_t>(attrNum(row, col, kForeColor));
}
std::uint32_t Grid::backColorAt(int row, int col) const {
  return static_cast<std::uint32_t>(attrNum(row, col, kBackColor));
}

void Grid::setAttr(Attr a, double num, const std::string& str) {
  Range r = target();
  Slot slot{++s_.seq, num, str};
  if (r.allRows && r.allCols) {
    s_.sheet[a] = slot;
    // Narrower settings of this attribute are outranked now; drop them.
    for (auto& [k, set] : s_.colAttrs) set[a] = Slot{};
    for (auto& [k, set] : s_.rowAttrs) set[a] = Slot{};
    for (auto& [k, set] : s_.cellAttrs) set[a] = Slot{};
  } else if (r.allRows) {
    for (int c = std::max(0, r.col1); c <= r.col2; ++c) s_.colAttrs[c][a] = slot;
  } else if (r.allCols) {
    for (int row = std::max(0, r.row1); row <= r.row2; ++row) s_.rowAttrs[row][a] = slot;
  } else {
    forEachCell(r, [&](int row, int col) { s_.cellAttrs[key(row, col)][a] = slot; });
  }
  notify(GridChange::Layout);
}

double Grid::currentNum(Attr a) const { return attrNum(std::max(0, s_.row), std::max(0, s_.col), a); }

int Grid::CellType() const { return static_cast<int>(currentNum(kCellType)); }
void Grid::CellType(int type) {
  if (type < 0 || type > celltype::kLast) invalidValue("CellType");
  setAttr(kCellType, type);
}
double Grid::TypeNumberMin() const { return currentNum(kNumMin); }
void Grid::TypeNumberMin(double v) {
  if (!std::isfinite(v)) invalidValue("TypeNumberMin");
  setAttr(kNumMin, v);
}
double Grid::TypeNumberMax() const { return currentNum(kNumMax); }
void Grid::TypeNumberMax(double v) {
  if (!std::isfinite(v)) invalidValue("TypeNumberMax");
  setAttr(kNumMax, v);
}
int Grid::TypeNumberDecPlaces() const { return static_cast<int>(currentNum(kDecPlaces)); }
void Grid::TypeNumberDecPlaces(int n) {
  requireRange(n, 0, kMaxDecPlaces, "TypeNumberDecPlaces");
  setAttr(kDecPlaces, n);
}
std::string Grid::TypeNumberDecimal() const { return attrStr(std::max(0, s_.row), std::max(0, s_.col), kDecimal); }
void Grid::TypeNumberDecimal(const std::string& ch) {
  if (text::Len(ch) != 1 || (ch[0] >= '0' && ch[0] <= '9') || ch == TypeNumberSeparator()) invalidValue("TypeNumberDecimal");
  setAttr(kDecimal, 0, ch);
}
bool Grid::TypeNumberShowSep() const { return currentNum(kShowSep) != 0; }
void Grid::TypeNumberShowSep(bool on) { setAttr(kShowSep, on ? 1 : 0); }
std::string Grid::TypeNumberSeparator() const {
  return attrStr(std::max(0, s_.row), std::max(0, s_.col), kSeparator);
}
void Grid::TypeNumberSeparator(const std::string& ch) {
  if (text::Len(ch) != 1 || (ch[0] >= '0' && ch[0] <= '9') || ch == TypeNumberDecimal()) invalidValue("TypeNumberSeparator");
  setAttr(kSeparator, 0, ch);
}
int Grid::TypeHAlign() const { return static_cast<int>(currentNum(kHAlign)); }
void Grid::TypeHAlign(int a) {
  requireRange(a, 0, 2, "TypeHAlign");
  setAttr(kHAlign, a);
}
int Grid::TypeVAlign() const { return static_cast<int>(currentNum(kVAlign)); }
void Grid::TypeVAlign(int a) {
  requireRange(a, 0, 2, "TypeVAlign");
  setAttr(kVAlign, a);
}
std::uint32_t Grid::ForeColor() const { return static_cast<std::uint32_t>(currentNum(kForeColor)); }
void Grid::ForeColor(std::uint32_t c) {
  requireColour(c, "ForeColor");
  setAttr(kForeColor, c);
}
std::uint32_t Grid::BackColor() const { return static_cast<std::uint32_t>(currentNum(kBackColor)); }
void Grid::BackColor(std::uint32_t c) {
  requireColour(c, "BackColor");
  setAttr(kBackColor, c);
}

// ---------------------------------------------------------------- rows and columns

Grid::LineInfo& Grid::rowInfo(int row) {
  while (s_.rows.size() <= static_cast<std::size_t>(row)) {
    LineInfo li;
    li.hidden = s_.allRowsHidden;
    s_.rows.push_back(li);
  }
  return s_.rows[static_cast<std::size_t>(row)];
}

Grid::LineInfo& Grid::colInfo(int col) {
  while (s_.cols.size() <= static_cast<std::size_t>(col)) {
    LineInfo li;
    li.hidden = s_.allColsHidden;
    li.dataFill = s_.allColsDataFill;
    s_.cols.push_back(li);
  }
  return s_.cols[static_cast<std::size_t>(col)];
}

const Grid::LineInfo* Grid::rowInfoAt(int row) const {
  return row >= 0 && static_cast<std::size_t>(row) < s_.rows.size() ? &s_.rows[static_cast<std::size_t>(row)] : nullptr;
}
const Grid::LineInfo* Grid::colInfoAt(int col) const {
  return col >= 0 && static_cast<std::size_t>(col) < s_.cols.size() ? &s_.cols[static_cast<std::size_t>(col)] : nullptr;
}

bool Grid::ColHidden() const {
  if (s_.col < 0) return s_.allColsHidden;
  const LineInfo* li = colInfoAt(s_.col);
  return li ? li->hidden : s_.allColsHidden;
}

void Grid::ColHidden(bool hidden) {
  if (s_.col == -1) {
    s_.allColsHidden = hidden;
    for (auto& li : s_.cols) li.hidden = hidden;
  } else if (s_.col <= s_.maxCols) {
    colInfo(s_.col).hidden = hidden;
  }
  notify(GridChange::Layout);
}

bool Grid::RowHidden() const {
  if (s_.row < 0) return s_.allRowsHidden;
  const LineInfo* li = rowInfoAt(s_.row);
  return li ? li->hidden : s_.allRowsHidden;
}

void Grid::RowHidden(bool hidden) {
  if (s_.row == -1) {
    s_.allRowsHidden = hidden;
    for (auto& li : s_.rows) li.hidden = hidden;
  } else if (s_.row <= s_.maxRows) {
    rowInfo(s_.row).hidden = hidden;
  }
  notify(GridChange::Layout);
}

double Grid::COLWIDTH(int col) const {
  const LineInfo* li = colInfoAt(col);
  return li && li->size >= 0 ? li->size : kDefaultColWidth;
}

void Grid::COLWIDTH(int col, double w) {
  requireRange(w, 0, kMaxColWidth, "COLWIDTH");
  if (col < -1) invalidValue("COLWIDTH column");
  if (col == -1) {
    // Every column the grid has now, the row-header column included; columns added later
    // start at the standard width.
    for (int c = 0; c <= s_.maxCols; ++c) colInfo(c).size = w;
  } else if (col <= s_.maxCols) {
    colInfo(col).size = w;
  }
  notify(GridChange::Layout);
}

double Grid::RowHeight(int row) const {
  if (row < 0) return s_.defaultRowHeight;
  const LineInfo* li = rowInfoAt(row);
  return li && li->size >= 0 ? li->size : s_.defaultRowHeight;
}

void Grid::RowHeight(int row, double h) {
  requireRange(h, 0, kMaxRowHeight, "RowHeight");
  if (row < -1) invalidValue("RowHeight row");
  if (row == -1) {
    // Every row, the header row included, and the rows added later.
    s_.defaultRowHeight = h;
    for (auto& li : s_.rows) li.size = -1;
  } else if (row <= s_.maxRows) {
    rowInfo(row).size = h;
  }
  notify(GridChange::Layout);
}

bool Grid::isColShown(int col) const {
  const LineInfo* li = colInfoAt(col);
  bool hidden = li ? li->hidden : s_.allColsHidden;
  return !hidden && COLWIDTH(col) > 0;
}

bool Grid::isRowShown(int row) const {
  const LineInfo* li = rowInfoAt(row);
  bool hidden = li ? li->hidden : s_.allRowsHidden;
  return !hidden && RowHeight(row) > 0;
}

bool Grid::DataFillEvent() const {
  const LineInfo* li = colInfoAt(s_.col);
  return li ? li->dataFill : s_.allColsDataFill;
}

void Grid::DataFillEvent(bool on) {
  if (s_.col == -1) {
    s_.allColsDataFill = on;
    for (auto& li : s_.cols) li.dataFill = on;
  } else if (s_.col <= s_.maxCols) {
    colInfo(s_.col).dataFill = on;
  }
}

// ---------------------------------------------------------------- selection

bool Grid::isRowSelected(int row) const {
  const LineInfo* li = rowInfoAt(row);
  return li && li->selected;
}

bool Grid::SelModeSelected() const { return s_.row >= 0 && isRowSelected(s_.row); }

void Grid::SelModeSelected(bool selected) {
  if (s_.row == -1) {
    for (int r = 1; r <= s_.maxRows; ++r)
      if (selected || isRowSelected(r)) rowInfo(r).selected = selected;
  } else if (s_.row >= 1 && s_.row <= s_.maxRows) {
    if (selected && s_.operationMode == opmode::SingleSelect)
      for (auto& li : s_.rows) li.selected = false;
    rowInfo(s_.row).selected = selected;
  }
  notify(GridChange::Selection);
}

void Grid::AddSelection(int col, int row, int col2, int row2) {
  s_.pendingSelection.push_back({std::min(col, col2), std::min(row, row2), std::max(col, col2), std::max(row, row2)});
}

void Grid::ClearSelection() {
  s_.pendingSelection.clear();
  s_.selection.clear();
  notify(GridChange::Selection);
}

int Grid::SelectionCount() const {
  if (!opmode::selectsRows(s_.operationMode)) return static_cast<int>(s_.selection.size());
  int n = 0;
  const int last = std::min<int>(s_.maxRows, static_cast<int>(s_.rows.size()) - 1);
  for (int r = 1; r <= last; ++r)
    if (s_.rows[static_cast<std::size_t>(r)].selected) ++n;
  return n;
}

bool Grid::isCellSelected(int row, int col) const {
  for (const Block& b : s_.selection) {
    bool rows = b.row == -1 || b.row2 == -1 || (row >= b.row && row <= b.row2);
    bool cols = b.col == -1 || b.col2 == -1 || (col >= b.col && col <= b.col2);
    if (rows && cols) return true;
  }
  return false;
}

void Grid::selectBlock() {
  if (!s_.pendingSelection.empty()) {
    s_.selection = std::move(s_.pendingSelection);
    s_.pendingSelection.clear();
  } else {
    s_.selection = {{std::min(s_.col, s_.col2), std::min(s_.row, s_.row2), std::max(s_.col, s_.col2),
                     std::max(s_.row, s_.row2)}};
  }
  notify(GridChange::Selection);
}

// ---------------------------------------------------------------- actions

void Grid::Action(int code) {
  switch (code) {
    case action::ActiveCell:
      s_.activeRow = std::clamp(s_.row, 1, std::max(1, s_.maxRows));
      s_.activeCol = std::clamp(s_.col, 1, std::max(1, s_.maxCols));
      notify(GridChange::Selection);
      break;
    case action::GotoCell:
      TopRow(s_.row);
      LeftCol(s_.col);
      break;
    case action::SelectBlock: selectBlock(); break;
    case action::Clear: {
      Range r = target();
      writeCells(r, [](int, int) { return Cell{}; });
      forEachCell(r, [&](int row, int col) { s_.cellAttrs.erase(key(row, col)); });
      notify(GridChange::Layout);
      break;
    }
    case action::Recalc:
      ++s_.generation;
      for (auto& [k, fc] : s_.formulas) fc.generation = 0;
      notify(GridChange::Cells, {1, 1, s_.maxCols, s_.maxRows});
      break;
    case action::ClearText: writeCells(target(), [](int, int) { return Cell{}; }); break;
    case action::Print: PrintSheet(); break;
    case action::DeselectBlock:
      s_.selection.clear();
      notify(GridChange::Selection);
      break;
    case action::SetCellBorder: applyBorder(); break;
    case action::AddMultiSelBlock:
      s_.selection.push_back({std::min(s_.col, s_.col2), std::min(s_.row, s_.row2), std::max(s_.col, s_.col2),
                              std::max(s_.row, s_.row2)});
      notify(GridChange::Selection);
      break;
    case action::Sort: sort(); break;
    case action::Reset: Reset(); break;
    case action::SelModeClear:
      for (auto& li : s_.rows) li.selected = false;
      notify(GridChange::Selection);
      break;
    default: invalidValue("Action " + std::to_string(code));
  }
  s_.lastAction = code;
}

void Grid::CellBorderColor(std::uint32_t c) {
  requireColour(c, "CellBorderColor");
  s_.borderColor = c;
}
void Grid::CellBorderStyle(int style) {
  requireRange(style, 0, border::StyleLast, "CellBorderStyle");
  s_.borderStyle = style;
}
void Grid::CellBorderType(int type) {
  requireRange(type, 0, 31, "CellBorderType");
  s_.borderType = type;
}

CellBorders Grid::cellBorders(int row, int col) const {
  auto it = s_.borders.find(key(row, col));
  return it == s_.borders.end() ? CellBorders{} : it->second;
}

void Grid::applyBorder() {
  Range r = target();
  const int style = s_.borderStyle == border::StyleBlank ? border::StyleNone : s_.borderStyle;
  const BorderLine line{style, s_.borderColor};
  const int t = s_.borderType;
  const int row1 = std::max(0, r.row1), col1 = std::max(0, r.col1);
  forEachCell(r, [&](int row, int col) {
    CellBorders& b = s_.borders[key(row, col)];
    if ((t & border::Left) || ((t & border::Outline) && col == col1)) b.left = line;
    if ((t & border::Right) || ((t & border::Outline) && col == r.col2)) b.right = line;
    if ((t & border::Top) || ((t & border::Outline) && row == row1)) b.top = line;
    if ((t & border::Bottom) || ((t & border::Outline) && row == r.row2)) b.bottom = line;
  });
  notify(GridChange::Layout);
}

void Grid::SortBy(int by) {
  requireRange(by, 0, 1, "SortBy");
  s_.sortBy = by;
}

int Grid::SortKey(int index) const {
  if (index < 1 || index > 3) throw RuntimeError(kInvalidArrayIndex, kSource, "Invalid property array index");
  return s_.sortKeys[static_cast<std::size_t>(index - 1)];
}
void Grid::SortKey(int index, int keyNumber) {
  if (index < 1 || index > 3) throw RuntimeError(kInvalidArrayIndex, kSource, "Invalid property array index");
  if (keyNumber < 0) invalidValue("SortKey");
  s_.sortKeys[static_cast<std::size_t>(index - 1)] = keyNumber;
}
int Grid::SortKeyOrder(int index) const {
  if (index < 1 || index > 3) throw RuntimeError(kInvalidArrayIndex, kSource, "Invalid property array index");
  return s_.sortOrders[static_cast<std::size_t>(index - 1)];
}
void Grid::SortKeyOrder(int index, int order) {
  if (index < 1 || index > 3) throw RuntimeError(kInvalidArrayIndex, kSource, "Invalid property array index");
  requireRange(order, 0, 2, "SortKeyOrder");
  s_.sortOrders[static_cast<std::size_t>(index - 1)] = order;
}

void Grid::sort() {
  // The block Col, Row, col2, Row2 (-1: every row or column), data rows and columns only.
  auto span = [](int a, int b, int max) {
    if (a == -1 || b == -1) return std::pair{1, max};
    return std::pair{std::max(1, std::min(a, b)), std::min(max, std::max(a, b))};
  };
  auto [row1, row2] = span(s_.row, s_.row2, s_.maxRows);
  auto [col1, col2] = span(s_.col, s_.col2, s_.maxCols);
  if (row1 > row2 || col1 > col2) return;
  const bool byRows = s_.sortBy == 0;
  const int first = byRows ? row1 : col1, last = byRows ? row2 : col2;
  const int n = last - first + 1;

  struct KeyValue {
    int rank = 2;  // 0 number, 1 text, 2 empty (always last)
    double number = 0;
    std::string text;
  };
  std::vector<std::pair<int, int>> keys;  // key line, order
  for (std::size_t i = 0; i < 3; ++i)
    if (s_.sortKeys[i] > 0 && s_.sortOrders[i] != 0) keys.emplace_back(s_.sortKeys[i], s_.sortOrders[i]);
  if (keys.empty()) return;
  std::vector<std::vector<KeyValue>> values(keys.size(), std::vector<KeyValue>(static_cast<std::size_t>(n)));
  for (std::size_t k = 0; k < keys.size(); ++k)
    for (int i = 0; i < n; ++i) {
      int row = byRows ? first + i : keys[k].first, col = byRows ? keys[k].first : first + i;
      KeyValue& kv = values[k][static_cast<std::size_t>(i)];
      const Cell* c = cellAt(row, col);
      if (!c || c->kind == Kind::Empty || !inGrid(row, col)) continue;
      CellNumber num = numberAt(row, col);
      bool numberCell = celltype::isNumber(cellTypeAt(row, col)) || c->kind != Kind::Text;
      if (num.number && numberCell) {
        kv.rank = 0;
        kv.number = *num.number;
      } else {
        kv.text = displayText(row, col, *c);
        kv.rank = kv.text.empty() ? 2 : 1;
      }
    }
  std::vector<int> perm(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) perm[static_cast<std::size_t>(i)] = i;
  std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) {
    for (std::size_t k = 0; k < keys.size(); ++k) {
      const KeyValue& x = values[k][static_cast<std::size_t>(a)];
      const KeyValue& y = values[k][static_cast<std::size_t>(b)];
      if (x.rank != y.rank) {
        if (x.rank == 2 || y.rank == 2) return y.rank == 2;  // empty cells last in both orders
        return keys[k].second == 1 ? x.rank < y.rank : x.rank > y.rank;
      }
      if (x.rank == 2) continue;
      int cmp = x.rank == 0 ? (x.number < y.number ? -1 : x.number > y.number ? 1 : 0) : x.text.compare(y.text);
      if (cmp != 0) return keys[k].second == 1 ? cmp < 0 : cmp > 0;
    }
    return false;
  });
  std::vector<int> newIndexOf(static_cast<std::size_t>(n));  // old offset -> new offset
  for (int i = 0; i < n; ++i) newIndexOf[static_cast<std::size_t>(perm[static_cast<std::size_t>(i)])] = i;

  // A sort over every column moves whole rows (headers, heights, hidden and selected marks with
  // them); otherwise only the cells of the block move.
  const bool wholeLines = byRows ? (col1 == 1 && col2 == s_.maxCols) : (row1 == 1 && row2 == s_.maxRows);
  const int lo = wholeLines ? 0 : (byRows ? col1 : row1);
  const int hi = byRows ? col2 : row2;
  if (byRows) {
    std::vector<std::vector<Cell>> moved(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
      for (int c = lo; c <= hi; ++c) {
        const Cell* cell = cellAt(first + i, c);
        moved[static_cast<std::size_t>(i)].push_back(cell ? std::move(cellRef(first + i, c)) : Cell{});
      }
    for (int i = 0; i < n; ++i)
      for (int c = lo; c <= hi; ++c) {
        Cell& src = moved[static_cast<std::size_t>(perm[static_cast<std::size_t>(i)])][static_cast<std::size_t>(c - lo)];
        if (src.kind != Kind::Empty || cellAt(first + i, c)) cellRef(first + i, c) = std::move(src);
      }
    auto to = [&](int r, int c) { return std::pair{first + newIndexOf[static_cast<std::size_t>(r - first)], c}; };
    remap(s_.formulas, first, last, lo, hi, to);
    remap(s_.cellAttrs, first, last, lo, hi, to);
    remap(s_.borders, first, last, lo, hi, to);
    if (wholeLines) {
      rowInfo(last);
      std::vector<LineInfo> infos(s_.rows.begin() + first, s_.rows.begin() + last + 1);
      for (int i = 0; i < n; ++i) s_.rows[static_cast<std::size_t>(first + i)] = infos[static_cast<std::size_t>(perm[static_cast<std::size_t>(i)])];
      std::unordered_map<int, AttrSet> rowAttrs;
      for (auto& [r, set] : s_.rowAttrs)
        rowAttrs[r >= first && r <= last ? first + newIndexOf[static_cast<std::size_t>(r - first)] : r] = std::move(set);
      s_.rowAttrs = std::move(rowAttrs);
    }
  } else {
    for (int r = lo; r <= hi; ++r) {
      std::vector<Cell> moved;
      for (int i = 0; i < n; ++i) moved.push_back(cellAt(r, first + i) ? std::move(cellRef(r, first + i)) : Cell{});
      for (int i = 0; i < n; ++i) {
        Cell& src = moved[static_cast<std::size_t>(perm[static_cast<std::size_t>(i)])];
        if (src.kind != Kind::Empty || cellAt(r, first + i)) cellRef(r, first + i) = std::move(src);
      }
    }
    auto to = [&](int r, int c) { return std::pair{r, first + newIndexOf[static_cast<std::size_t>(c - first)]}; };
    remap(s_.formulas, lo, hi, first, last, to);
    remap(s_.cellAttrs, lo, hi, first, last, to);
    remap(s_.borders, lo, hi, first, last, to);
    if (wholeLines) {
      colInfo(last);
      std::vector<LineInfo> infos(s_.cols.begin() + first, s_.cols.begin() + last + 1);
      for (int i = 0; i < n; ++i) s_.cols[static_cast<std::size_t>(first + i)] = infos[static_cast<std::size_t>(perm[static_cast<std::size_t>(i)])];
    }
  }
  ++s_.generation;
  notify(GridChange::Everything);
}

// ---------------------------------------------------------------- binding

void Grid::DAutoSizeCols(int mode) {
  requireRange(mode, 0, 2, "DAutoSizeCols");
  s_.dAutoSizeCols = mode;
}
void Grid::VirtualMaxRows(int n) {
  if (n < -1 || n > kMaxRowsLimit) invalidValue("VirtualMaxRows");
  s_.virtualMaxRows = n;
}
void Grid::VirtualOverlap(int rows) {
  if (rows < 0) invalidValue("VirtualOverlap");
  s_.virtualOverlap = rows;
}

void Grid::DataSource(std::shared_ptr<const grid::DataSource> source) {
  s_.source = std::move(source);
  if (s_.source && s_.dAutoFill) fill();
  else notify(GridChange::Everything);
}

void Grid::DataSource(const std::shared_ptr<ado::Recordset>& recordset) { DataSource(sourceOf(recordset)); }

void Grid::fill() {
  const grid::DataSource& src = *s_.source;
  const int fields = src.fieldCount();
  long long records = std::max(0LL, src.recordCount());
  if (s_.virtualMode && s_.virtualMaxRows >= 0) records = std::min<long long>(records, s_.virtualMaxRows);
  if (fields > kMaxColsLimit || records > kMaxRowsLimit) invalidValue("data source larger than the grid");
  const bool redraw = s_.redraw;
  s_.redraw = false;  // one notice at the end
  struct Restore {
    Grid& g;
    bool redraw;
    ~Restore() { g.s_.redraw = redraw; }
  } restore{*this, redraw};

  s_.cells.clear();
  s_.formulas.clear();
  s_.selection.clear();
  s_.pendingSelection.clear();
  for (auto& li : s_.rows) li.selected = false;
  MaxCols(fields);
  MaxRows(static_cast<int>(records));
  const int savedRow = s_.row, savedCol = s_.col;
  const bool savedBlock = s_.blockMode;
  s_.blockMode = false;
  s_.row = -1;
  for (int f = 0; f < fields; ++f) {
    const int col = f + 1;
    if (s_.dAutoHeadings) cellRef(0, col) = makeCell(0, col, src.fieldName(f), false);
    if (s_.dAutoCellTypes) {
      s_.col = col;
      const int type = src.fieldType(f);
      if (isNumericType(type)) {
        setAttr(kCellType, celltype::Number);
        setAttr(kDecPlaces, autoDecPlaces(type, src.fieldScale(f)));
        setAttr(kShowSep, 1);
      } else {
        setAttr(kCellType, celltype::Edit);
      }
    }
  }
  s_.row = savedRow;
  s_.col = savedCol;
  s_.blockMode = savedBlock;

  std::vector<char> fillEvent(static_cast<std::size_t>(fields) + 1, 0);
  for (int c = 1; c <= fields; ++c) {
    const LineInfo* li = colInfoAt(c);
    fillEvent[static_cast<std::size_t>(c)] = (li ? li->dataFill : s_.allColsDataFill) && onDataFill_;
  }
  s_.cells.resize(static_cast<std::size_t>(records) + 1);
  for (long long rec = 0; rec < records; ++rec) {
    const int row = static_cast<int>(rec + 1);
    auto& cells = s_.cells[static_cast<std::size_t>(row)];
    cells.resize(static_cast<std::size_t>(fields) + 1);
    for (int f = 0; f < fields; ++f) {
      const int col = f + 1;
      Variant v = src.value(rec, f);
      if (fillEvent[static_cast<std::size_t>(col)]) {
        DataFillArgs args{col, row, std::move(v), false};
        onDataFill_(args);
        if (args.Cancel) continue;
        v = std::move(args.value);
      }
      Cell& c = cells[static_cast<std::size_t>(col)];
      switch (v.type()) {
        case VarType::Empty: case VarType::Null: case VarType::ByteArray: break;
        case VarType::String: {
          c.kind = Kind::Text;
          c.numeric = text::IsNumeric(v.str());
          if (c.numeric) c.number = text::ParseNumber(v.str());
          c.text = v.str();
          break;
        }
        case VarType::Boolean: case VarType::Date:
          c.kind = Kind::Text;
          c.text = v.toString();
          break;
        default:
          c.kind = Kind::Number;
          c.number = v.toDouble();
          break;
      }
    }
  }
  if (s_.dAutoSizeCols != 0) {
    const long long sample = s_.dAutoSizeCols == 1 ? records : std::min<long long>(records, 100);
    for (int col = 1; col <= fields; ++col) {
      std::size_t widest = text::ansiByteLength(textAt(0, col));
      for (long long rec = 0; rec < sample; ++rec)
        widest = std::max(widest, text::ansiByteLength(textAt(static_cast<int>(rec + 1), col)));
      colInfo(col).size = std::clamp<double>(static_cast<double>(widest) + 1, 4, 60);
    }
  }
  ++s_.generation;
  s_.redraw = redraw;
  s_.redrawPending = !redraw;
  if (redraw) notify(GridChange::Everything);
}

// ---------------------------------------------------------------- display settings

void Grid::FontName(const std::string& name) {
  if (text::Trim(name).empty()) invalidValue("FontName");
  s_.fontName = name;
  notify(GridChange::Layout);
}
void Grid::FontSize(double points) {
  requireRange(points, 1, 409, "FontSize");
  s_.fontSize = points;
  notify(GridChange::Layout);
}
void Grid::FontBold(bool on) {
  s_.fontBold = on;
  notify(GridChange::Layout);
}
void Grid::FontItalic(bool on) {
  s_.fontItalic = on;
  notify(GridChange::Layout);
}
void Grid::FontUnderline(bool on) {
  s_.fontUnderline = on;
  notify(GridChange::Layout);
}

#define VELTRANO_GRID_COLOUR(Name, field)        \
  void Grid::Name(std::uint32_t c) {             \
    requireColour(c, #Name);                     \
    s_.field = c;                                \
    notify(GridChange::Layout);                  \
  }
VELTRANO_GRID_COLOUR(SelBackColor, selBackColor)
VELTRANO_GRID_COLOUR(SelForeColor, selForeColor)
VELTRANO_GRID_COLOUR(ShadowColor, shadowColor)
VELTRANO_GRID_COLOUR(ShadowText, shadowText)
VELTRANO_GRID_COLOUR(GridColor, gridColor)
VELTRANO_GRID_COLOUR(ScrollBarHColor, scrollBarHColor)
VELTRANO_GRID_COLOUR(ScrollBarVColor, scrollBarVColor)
#undef VELTRANO_GRID_COLOUR

void Grid::GridShowHoriz(bool on) {
  s_.gridShowHoriz = on;
  notify(GridChange::Layout);
}
void Grid::GridShowVert(bool on) {
  s_.gridShowVert = on;
  notify(GridChange::Layout);
}
void Grid::GridSolid(bool on) {
  s_.gridSolid = on;
  notify(GridChange::Layout);
}
void Grid::ScrollBars(int bars) {
  requireRange(bars, 0, 3, "ScrollBars");
  s_.scrollBars = bars;
  notify(GridChange::Layout);
}
void Grid::OperationMode(int mode) {
  requireRange(mode, 0, 5, "OperationMode");
  s_.operationMode = mode;
  notify(GridChange::Layout);
}
void Grid::TextTip(int mode) {
  requireRange(mode, 0, 4, "TextTip");
  s_.textTip = mode;
}
void Grid::UserResize(int mode) {
  requireRange(mode, 0, 3, "UserResize");
  s_.userResize = mode;
  notify(GridChange::Layout);
}
void Grid::CursorType(int type) {
  requireRange(type, 0, 2, "CursorType");
  s_.cursorType = type;
}
void Grid::CursorStyle(int style) {
  requireRange(style, 0, 3, "CursorStyle");
  s_.cursorStyle = style;
}
void Grid::ColHeaderRows(int n) {
  requireRange(n, 0, 8, "ColHeaderRows");
  s_.colHeaderRows = n;
  notify(GridChange::Layout);
}
void Grid::RowHeaderCols(int n) {
  requireRange(n, 0, 8, "RowHeaderCols");
  s_.rowHeaderCols = n;
  notify(GridChange::Layout);
}
void Grid::ColHeadersShow(bool on) {
  s_.colHeadersShow = on;
  notify(GridChange::Layout);
}
void Grid::RowHeadersShow(bool on) {
  s_.rowHeadersShow = on;
  notify(GridChange::Layout);
}
void Grid::ColHeadersAutoText(int mode) {
  requireRange(mode, 0, 2, "ColHeadersAutoText");
  s_.colHeadersAutoText = mode;
  notify(GridChange::Layout);
}
void Grid::RowHeadersAutoText(int mode) {
  requireRange(mode, 0, 2, "RowHeadersAutoText");
  s_.rowHeadersAutoText = mode;
  notify(GridChange::Layout);
}

// ---------------------------------------------------------------- printing

void Grid::PrintMarginLeft(int twips) {
  if (twips < 0) invalidValue("PrintMarginLeft");
  s_.marginLeft = twips;
}
void Grid::PrintMarginTop(int twips) {
  if (twips < 0) invalidValue("PrintMarginTop");
  s_.marginTop = twips;
}
void Grid::PrintMarginRight(int twips) {
  if (twips < 0) invalidValue("PrintMarginRight");
  s_.marginRight = twips;
}
void Grid::PrintMarginBottom(int twips) {
  if (twips < 0) invalidValue("PrintMarginBottom");
  s_.marginBottom = twips;
}
void Grid::PrintOrientation(int o) {
  requireRange(o, 0, 2, "PrintOrientation");
  s_.printOrientation = o;
}
void Grid::PrintType(int type) {
  requireRange(type, 0, 3, "PrintType");
  s_.printType = type;
}

int Grid::PrintPageCount() const { return static_cast<int>(layoutPrint(*this, false).pages.size()); }

std::vector<int> Grid::pagesToPrint() const {
  const int count = static_cast<int>(layoutPrint(*this, s_.printType == 1).pages.size());
  std::vector<int> pages;
  int from = 1, to = count;
  if (s_.printType == 3) {
    from = std::max(1, s_.printPageStart);
    to = std::min(count, s_.printPageEnd);
  } else if (s_.printType == 2) {
    from = to = std::clamp(pageOfRow(*this, s_.activeRow), 1, std::max(1, count));
  }
  for (int p = from; p <= to; ++p) pages.push_back(p);
  return pages;
}

void Grid::PrintSheet() {
  std::vector<int> pages = pagesToPrint();
  if (pages.empty()) return;
  PrintBackend* backend = printBackend();
  if (!backend) throw RuntimeError(kPrinterError, kSource, "인쇄 오류: 인쇄 기능이 설치되어 있지 않습니다");
  PrintDestination to;
  if (!s_.printFileName.empty()) {
    to.pdfFile = s_.printFileName;
  } else if (const char* dir = std::getenv("VELTRANO_PRINT_DIR"); dir && *dir) {
    std::filesystem::create_directories(dir);
    for (int n = 1;; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "print-%03d.pdf", n);
      auto path = std::filesystem::path(dir) / name;
      if (!std::filesystem::exists(path)) {
        to.pdfFile = path.string();
        break;
      }
    }
  } else {
    to.printerName = s_.printerName;
  }
  backend->print(*this, layoutPrint(*this, s_.printType == 1), pages, to);
}

}  // namespace veltrano::grid
