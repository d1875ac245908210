#pragma once
// The grid control: cells with text, numbers and formulas, cell types and number formats,
// row and column sizes, hidden rows and columns, selection, sort, borders, binding to a data
// source, display settings and print settings. This is the model; the Qt view, the print
// renderer and the preview (grid_view.h, grid_printer.h, grid_preview.h) draw from it.
//
// Addressing works as in the product programs: set Row and Col (and col2/Row2 with BlockMode),
// then read or write a property of that cell. Row -1 means every row, Col -1 every column (so
// Row -1, Col -1 is the whole sheet); row 0 is the column-header row and column 0 the row-header
// column. A cell property written to a range applies to every cell of the range: the setting
// made last wins where settings of a cell, its row, its column and the sheet meet, and rows or
// columns added later take the column's, row's or sheet's setting.
//
// Values the grid rejects raise veltrano::RuntimeError and leave the grid as it was:
//  - 380 (invalid property value): MaxRows outside 0..kMaxRowsLimit, MaxCols outside
//    0..kMaxColsLimit; Row, Col, Row2, col2 below -1; a COLWIDTH outside 0..kMaxColWidth, a
//    RowHeight outside 0..kMaxRowHeight; a CellType outside 0..15; TypeNumberDecPlaces outside
//    0..15; a TypeNumberDecimal or TypeNumberSeparator that is not one character (or both the
//    same); a number written to a number cell outside TypeNumberMin..TypeNumberMax; alignments
//    outside 0..2; a colour that is neither 0..0xFFFFFF nor a system colour (0x80000000 to
//    0x80000018); a FontSize outside 1..409 or an empty FontName; a formula that does not
//    parse; an OperationMode outside 0..5, ScrollBars outside 0..3; a print orientation outside
//    0..2, a PrintType outside 0..3, a negative margin; an Action code the grid does not have.
//  - 381 (invalid property array index): SortKey and SortKeyOrder indexes outside 1..3.
//  - 13 (type mismatch): text that is not a number written to a number cell (empty text
//    empties the cell).
//  - 482 (printer error): PrintSheet with no print backend installed or when the printer or
//    file cannot be written.
// Rows and columns beyond MaxRows/MaxCols may be addressed; writing there does nothing and
// reading gives empty text. TopRow and LeftCol take any number and keep it within the grid.
//
// Units: COLWIDTH counts characters of the standard width (7 pixels at 96 dpi, 5.25 points);
// RowHeight counts points; print margins count twips (1/1440 inch).
//
// Events (synchronous, on the caller's thread): DataFill is raised during a fill from the data
// source, once per cell of a column whose DataFillEvent is on, in record order and field order
// within a record, before the value is stored; the handler may change the value or set Cancel
// to leave the cell empty, and must not rebind or resize the grid. Listeners (the view) hear of
// changes after they happen; while ReDraw is false they hear nothing, and switching ReDraw back
// on tells them once that everything changed.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/grid/data_source.h"
#include "platform/grid/formula.h"
#include "platform/grid/number_format.h"
#include "platform/runtime/variant.h"
#include "platform/ui/user_interface.h"

namespace veltrano::ado {
class Recordset;
}

namespace veltrano::grid {

inline constexpr int kInvalidPropertyValue = 380;
inline constexpr int kInvalidArrayIndex = 381;
inline constexpr int kPrinterError = 482;

inline constexpr int kMaxRowsLimit = 10'000'000;
inline constexpr int kMaxColsLimit = 16'384;
inline constexpr double kMaxColWidth = 2048;
inline constexpr double kMaxRowHeight = 2048;
inline constexpr double kDefaultColWidth = 9;
inline constexpr double kDefaultRowHeight = 12;
inline constexpr double kPointsPerWidthUnit = 5.25;

// Codes of the Action property.
namespace action {
inline constexpr int ActiveCell = 0, GotoCell = 1, SelectBlock = 2, Clear = 3, Recalc = 11, ClearText = 12,
                     Print = 13, DeselectBlock = 14, SetCellBorder = 16, AddMultiSelBlock = 17, Sort = 25,
                     Reset = 28, SelModeClear = 29;
}

// OperationMode values.
namespace opmode {
inline constexpr int Normal = 0, ReadOnly = 1, RowMode = 2, SingleSelect = 3, MultiSelect = 4,
                     ExtendedSelect = 5;
inline bool selectsRows(int mode) { return mode >= SingleSelect; }
}  // namespace opmode

// CellBorderType bits and CellBorderStyle values.
namespace border {
inline constexpr int Left = 1, Right = 2, Top = 4, Bottom = 8, Outline = 16;
inline constexpr int StyleNone = 0, StyleSolid = 1, StyleDash = 2, StyleDot = 3, StyleDashDot = 4,
                     StyleDashDotDot = 5, StyleBlank = 6, StyleLast = 13;
}  // namespace border

// A rectangle of cells, corners included, as AddSelection and the block properties give it.
struct Block {
  int col = 0, row = 0, col2 = 0, row2 = 0;
  bool operator==(const Block&) const = default;
};

// One side of a cell's border.
struct BorderLine {
  int style = border::StyleNone;
  std::uint32_t color = 0;
};
struct CellBorders {
  BorderLine left, right, top, bottom;
};

struct DataFillArgs {
  int Col = 0;
  int Row = 0;
  Variant value;
  bool Cancel = false;
};

struct GridChange {
  enum Kind { Everything, Cells, Layout, Selection };
  Kind kind = Everything;
  Block cells;  // for Cells: the range that changed
};

class GridListener {
 public:
  virtual ~GridListener() = default;
  virtual void gridChanged(const GridChange& change) = 0;
};

class Grid {
 public:
  Grid();
  ~Grid();
  Grid(const Grid&) = delete;
  Grid& operator=(const Grid&) = delete;

  // The 32-bit window handle of this grid, and the grid a handle names (nullptr for a handle
  // that names no live grid).
  ui::Hwnd hwnd() const { return hwnd_; }
  static Grid* fromHwnd(ui::Hwnd h);

  // Empties the grid and puts every property back to its default (the binding is dropped;
  // the handle, listeners and event handler stay).
  void Reset();
  // Asks the views to draw everything again.
  void Refresh();

  // ---- size, position, block
  int MaxRows() const { return s_.maxRows; }
  void MaxRows(int n);
  int MaxCols() const { return s_.maxCols; }
  void MaxCols(int n);
  int Row() const { return s_.row; }
  void Row(int r);
  int Col() const { return s_.col; }
  void Col(int c);
  int Row2() const { return s_.row2; }
  void Row2(int r);
  int col2() const { return s_.col2; }
  void col2(int c);
  bool BlockMode() const { return s_.blockMode; }
  void BlockMode(bool on) { s_.blockMode = on; }
  // Last row and column holding data (0 when none).
  int DataRowCnt() const;
  int DataColCnt() const;
  int ActiveRow() const { return s_.activeRow; }
  int ActiveCol() const { return s_.activeCol; }
  int TopRow() const { return s_.topRow; }
  void TopRow(int r);
  int LeftCol() const { return s_.leftCol; }
  void LeftCol(int c);
  int ColsFrozen() const { return s_.colsFrozen; }
  void ColsFrozen(int n);
  int RowsFrozen() const { return s_.rowsFrozen; }
  void RowsFrozen(int n);

  // ---- content of the current cell
  std::string Text() const;
  void Text(const std::string& text);
  std::string Value() const;
  void Value(const std::string& value);
  std::string Formula() const;
  void Formula(const std::string& formula);
  bool AllowUserFormulas() const { return s_.allowUserFormulas; }
  void AllowUserFormulas(bool on) { s_.allowUserFormulas = on; }
  bool AutoCalc() const { return s_.autoCalc; }
  void AutoCalc(bool on);

  // ---- cell type and format of the current cell or range
  int CellType() const;
  void CellType(int type);
  double TypeNumberMin() const;
  void TypeNumberMin(double v);
  double TypeNumberMax() const;
  void TypeNumberMax(double v);
  int TypeNumberDecPlaces() const;
  void TypeNumberDecPlaces(int n);
  std::string TypeNumberDecimal() const;
  void TypeNumberDecimal(const std::string& ch);
  bool TypeNumberShowSep() const;
  void TypeNumberShowSep(bool on);
  std::string TypeNumberSeparator() const;
  void TypeNumberSeparator(const std::string& ch);
  int TypeHAlign() const;  // 0 left, 1 right, 2 centre
  void TypeHAlign(int a);
  int TypeVAlign() const;  // 0 top, 1 bottom, 2 centre
  void TypeVAlign(int a);
  std::uint32_t ForeColor() const;
  void ForeColor(std::uint32_t colour);
  std::uint32_t BackColor() const;
  void BackColor(std::uint32_t colour);

  // ---- rows and columns
  bool ColHidden() const;  // of the current column
  void ColHidden(bool hidden);
  bool RowHidden() const;  // of the current row
  void RowHidden(bool hidden);
  double COLWIDTH(int col) const;
  void COLWIDTH(int col, double width);
  double RowHeight(int row) const;
  void RowHeight(int row, double height);
  // The data-fill event switch of the current column (-1: every column).
  bool DataFillEvent() const;
  void DataFillEvent(bool on);

  // ---- selection
  bool SelModeSelected() const;  // of the current row
  void SelModeSelected(bool selected);
  // Adds a block to the selection that Action 2 applies.
  void AddSelection(int col, int row, int col2, int row2);
  void ClearSelection();
  // Selected rows in the row-selection operation modes (3 to 5), else selected blocks.
  int SelectionCount() const;
  const std::vector<Block>& selectedBlocks() const { return s_.selection; }
  bool isRowSelected(int row) const;
  bool isCellSelected(int row, int col) const;

  // ---- actions, borders, sort
  int Action() const { return s_.lastAction; }
  void Action(int code);
  std::uint32_t CellBorderColor() const { return s_.borderColor; }
  void CellBorderColor(std::uint32_t colour);
  int CellBorderStyle() const { return s_.borderStyle; }
  void CellBorderStyle(int style);
  int CellBorderType() const { return s_.borderType; }
  void CellBorderType(int type);
  CellBorders cellBorders(int row, int col) const;
  int SortBy() const { return s_.sortBy; }  // 0 rows, 1 columns
  void SortBy(int by);
  int SortKey(int index) const;
  void SortKey(int index, int key);
  int SortKeyOrder(int index) const;  // 0 none, 1 ascending, 2 descending
  void SortKeyOrder(int index, int order);

  // ---- drawing and binding
  bool ReDraw() const { return s_.redraw; }
  void ReDraw(bool on);
  const std::shared_ptr<const grid::DataSource>& DataSource() const { return s_.source; }
  // Binds the grid to `source` (nullptr unbinds). With DAutoFill the grid takes the source's
  // records as its rows (MaxRows = record count, or VirtualMaxRows in virtual mode when that is
  // not -1) and its fields as its columns; DAutoHeadings puts the field names into the column
  // headers; DAutoCellTypes gives number fields number cell types. Values are copied in; edits
  // are not written back to the source.
  void DataSource(std::shared_ptr<const grid::DataSource> source);
  // The same for a Recordset of platform/ado, shared with the caller; it must stay open while
  // the grid shows it (a closed recordset raises 3704 here).
  void DataSource(const std::shared_ptr<ado::Recordset>& recordset);
  void DataSource(std::nullptr_t) { DataSource(std::shared_ptr<const grid::DataSource>{}); }
  bool DAutoFill() const { return s_.dAutoFill; }
  void DAutoFill(bool on) { s_.dAutoFill = on; }
  bool DAutoCellTypes() const { return s_.dAutoCellTypes; }
  void DAutoCellTypes(bool on) { s_.dAutoCellTypes = on; }
  bool DAutoHeadings() const { return s_.dAutoHeadings; }
  void DAutoHeadings(bool on) { s_.dAutoHeadings = on; }
  int DAutoSizeCols() const { return s_.dAutoSizeCols; }  // 0 off, 1 and 2 fit the data
  void DAutoSizeCols(int mode);
  int VirtualMaxRows() const { return s_.virtualMaxRows; }
  void VirtualMaxRows(int n);
  bool VirtualMode() const { return s_.virtualMode; }
  void VirtualMode(bool on) { s_.virtualMode = on; }
  bool VScrollSpecial() const { return s_.vScrollSpecial; }
  void VScrollSpecial(bool on) { s_.vScrollSpecial = on; }
  int VirtualOverlap() const { return s_.virtualOverlap; }
  void VirtualOverlap(int rows);
  bool VirtualScrollBuffer() const { return s_.virtualScrollBuffer; }
  void VirtualScrollBuffer(bool on) { s_.virtualScrollBuffer = on; }
  void setOnDataFill(std::function<void(DataFillArgs&)> handler) { onDataFill_ = std::move(handler); }

  // ---- display settings
  std::string FontName() const { return s_.fontName; }
  void FontName(const std::string& name);
  double FontSize() const { return s_.fontSize; }
  void FontSize(double points);
  bool FontBold() const { return s_.fontBold; }
  void FontBold(bool on);
  bool FontItalic() const { return s_.fontItalic; }
  void FontItalic(bool on);
  bool FontUnderline() const { return s_.fontUnderline; }
  void FontUnderline(bool on);
  std::uint32_t SelBackColor() const { return s_.selBackColor; }
  void SelBackColor(std::uint32_t colour);
  std::uint32_t SelForeColor() const { return s_.selForeColor; }
  void SelForeColor(std::uint32_t colour);
  std::uint32_t ShadowColor() const { return s_.shadowColor; }  // header background
  void ShadowColor(std::uint32_t colour);
  std::uint32_t ShadowText() const { return s_.shadowText; }  // header text
  void ShadowText(std::uint32_t colour);
  std::uint32_t GridColor() const { return s_.gridColor; }
  void GridColor(std::uint32_t colour);
  std::uint32_t ScrollBarHColor() const { return s_.scrollBarHColor; }
  void ScrollBarHColor(std::uint32_t colour);
  std::uint32_t ScrollBarVColor() const { return s_.scrollBarVColor; }
  void ScrollBarVColor(std::uint32_t colour);
  bool GridShowHoriz() const { return s_.gridShowHoriz; }
  void GridShowHoriz(bool on);
  bool GridShowVert() const { return s_.gridShowVert; }
  void GridShowVert(bool on);
  bool GridSolid() const { return s_.gridSolid; }
  void GridSolid(bool on);
  int ScrollBars() const { return s_.scrollBars; }  // 0 none, 1 horizontal, 2 vertical, 3 both
  void ScrollBars(int bars);
  int OperationMode() const { return s_.operationMode; }
  void OperationMode(int mode);
  int TextTip() const { return s_.textTip; }  // 0 off, 1 fixed, 2 floating, 3/4 with focus
  void TextTip(int mode);
  bool AllowCellOverflow() const { return s_.allowCellOverflow; }
  void AllowCellOverflow(bool on) { s_.allowCellOverflow = on; }
  int UserResize() const { return s_.userResize; }  // 0 none, 1 columns, 2 rows, 3 both
  void UserResize(int mode);
  bool NoBeep() const { return s_.noBeep; }
  void NoBeep(bool on) { s_.noBeep = on; }
  int CursorType() const { return s_.cursorType; }
  void CursorType(int type);
  int CursorStyle() const { return s_.cursorStyle; }
  void CursorStyle(int style);
  bool AutoClipboard() const { return s_.autoClipboard; }
  void AutoClipboard(bool on) { s_.autoClipboard = on; }
  bool MoveActiveOnFocus() const { return s_.moveActiveOnFocus; }
  void MoveActiveOnFocus(bool on) { s_.moveActiveOnFocus = on; }
  int ColHeaderRows() const { return s_.colHeaderRows; }
  void ColHeaderRows(int n);
  int RowHeaderCols() const { return s_.rowHeaderCols; }
  void RowHeaderCols(int n);
  bool ColHeadersShow() const { return s_.colHeadersShow; }
  void ColHeadersShow(bool on);
  bool RowHeadersShow() const { return s_.rowHeadersShow; }
  void RowHeadersShow(bool on);
  int ColHeadersAutoText() const { return s_.colHeadersAutoText; }  // 0 blank, 1 numbers, 2 letters
  void ColHeadersAutoText(int mode);
  int RowHeadersAutoText() const { return s_.rowHeadersAutoText; }
  void RowHeadersAutoText(int mode);

  // ---- printing
  std::string PrintHeader() const { return s_.printHeader; }
  void PrintHeader(const std::string& codes) { s_.printHeader = codes; }
  std::string PrintFooter() const { return s_.printFooter; }
  void PrintFooter(const std::string& codes) { s_.printFooter = codes; }
  std::string PrintJobName() const { return s_.printJobName; }
  void PrintJobName(const std::string& name) { s_.printJobName = name; }
  int PrintMarginLeft() const { return s_.marginLeft; }
  void PrintMarginLeft(int twips);
  int PrintMarginTop() const { return s_.marginTop; }
  void PrintMarginTop(int twips);
  int PrintMarginRight() const { return s_.marginRight; }
  void PrintMarginRight(int twips);
  int PrintMarginBottom() const { return s_.marginBottom; }
  void PrintMarginBottom(int twips);
  int PrintOrientation() const { return s_.printOrientation; }  // 0 default (portrait), 1 portrait, 2 landscape
  void PrintOrientation(int o);
  bool PrintGrid() const { return s_.printGrid; }
  void PrintGrid(bool on) { s_.printGrid = on; }
  bool PrintBorder() const { return s_.printBorder; }
  void PrintBorder(bool on) { s_.printBorder = on; }
  bool PrintColHeaders() const { return s_.printColHeaders; }
  void PrintColHeaders(bool on) { s_.printColHeaders = on; }
  bool PrintRowHeaders() const { return s_.printRowHeaders; }
  void PrintRowHeaders(bool on) { s_.printRowHeaders = on; }
  bool PrintSmartPrint() const { return s_.printSmartPrint; }
  void PrintSmartPrint(bool on) { s_.printSmartPrint = on; }
  int PrintPageStart() const { return s_.printPageStart; }
  void PrintPageStart(int page) { s_.printPageStart = page; }
  int PrintPageEnd() const { return s_.printPageEnd; }
  void PrintPageEnd(int page) { s_.printPageEnd = page; }
  int PrintType() const { return s_.printType; }  // 0 all, 1 cell range, 2 current page, 3 page range
  void PrintType(int type);
  int PrintNextPageBreakRow() const { return s_.printNextPageBreakRow; }
  void PrintNextPageBreakRow(int row) { s_.printNextPageBreakRow = row; }
  // The PDF file PrintSheet writes instead of printing (empty: the printer).
  std::string PrintFileName() const { return s_.printFileName; }
  void PrintFileName(const std::string& path) { s_.printFileName = path; }
  // The printer queue (empty: the system's default printer).
  std::string PrinterName() const { return s_.printerName; }
  void PrinterName(const std::string& name) { s_.printerName = name; }
  // Pages of the whole sheet with the current print settings.
  int PrintPageCount() const;
  // Prints the pages PrintType chooses through the installed print backend: into the PDF file
  // PrintFileName names, else (when $VELTRANO_PRINT_DIR is set) into a new PDF file in that
  // folder, else to the printer. A page range that holds no page prints nothing.
  void PrintSheet();
  // The pages (1-based) PrintSheet would print.
  std::vector<int> pagesToPrint() const;

  // ---- reading cells directly (for views, printing and tests)
  std::string textAt(int row, int col) const;
  std::string valueAt(int row, int col) const;
  std::string formulaAt(int row, int col) const;
  int cellTypeAt(int row, int col) const;
  NumberFormat numberFormatAt(int row, int col) const;
  int hAlignAt(int row, int col) const;
  int vAlignAt(int row, int col) const;
  std::uint32_t foreColorAt(int row, int col) const;
  std::uint32_t backColorAt(int row, int col) const;
  // The numeric value of a cell, as a formula sees it.
  CellNumber numberAt(int row, int col) const;
  // Whether the cell shows a number: a number cell holding one, a number written as a value, or
  // a formula with a result. Text written into a cell of another type is text, digits or not.
  bool showsNumberAt(int row, int col) const;
  // The header text shown for column `col` (row 0) or row `row` (column 0): the text set or
  // bound, else the automatic letters or numbers.
  std::string colHeaderText(int col) const;
  std::string rowHeaderText(int row) const;
  bool isColShown(int col) const;  // not hidden and wider than 0
  bool isRowShown(int row) const;

  void addListener(GridListener* l);
  void removeListener(GridListener* l);

 private:
  enum Attr : std::uint8_t {
    kCellType, kNumMin, kNumMax, kDecPlaces, kDecimal, kShowSep, kSeparator, kHAlign, kVAlign,
    kForeColor, kBackColor, kAttrCount
  };
  struct Slot {
    std::uint64_t seq = 0;  // 0: not set here
    double num = 0;
    std::string str;
  };
  using AttrSet = std::array<Slot, kAttrCount>;
  enum class Kind : std::uint8_t { Empty, Text, Number, Formula };
  struct Cell {
    std::string text;  // Text: the text; Formula: the formula source
    double number = 0;
    Kind kind = Kind::Empty;
    bool numeric = false;  // Text: the text reads as a number
  };
  struct FormulaCell {
    grid::Formula formula;
    mutable std::uint64_t generation = 0;
    mutable FormulaValue value;
    mutable bool evaluating = false;
  };
  struct LineInfo {  // a row or a column
    double size = -1;  // -1: the default
    std::uint64_t sizeSeq = 0;
    bool hidden = false;
    bool selected = false;  // rows
    bool dataFill = false;  // columns
  };
  struct Range {
    int row1, col1, row2, col2;
    bool allRows, allCols;
  };
  struct State {
    int maxRows = 500, maxCols = 500;
    int row = 1, col = 1, row2 = 1, col2 = 1;
    bool blockMode = false;
    int activeRow = 1, activeCol = 1, topRow = 1, leftCol = 1, colsFrozen = 0, rowsFrozen = 0;
    bool allowUserFormulas = false, autoCalc = true;
    std::vector<std::vector<Cell>> cells;  // [row][col], grown as cells are written
    std::unordered_map<std::uint64_t, FormulaCell> formulas;
    AttrSet sheet;
    std::unordered_map<int, AttrSet> colAttrs, rowAttrs;
    std::unordered_map<std::uint64_t, AttrSet> cellAttrs;
    std::vector<LineInfo> rows, cols;  // grown on demand
    double defaultRowHeight = kDefaultRowHeight;
    std::uint64_t defaultRowHeightSeq = 0;
    bool allRowsHidden = false, allColsHidden = false;
    bool allColsDataFill = false;
    std::unordered_map<std::uint64_t, CellBorders> borders;
    std::vector<Block> pendingSelection, selection;
    int lastAction = 0;
    std::uint32_t borderColor = 0;
    int borderStyle = border::StyleSolid, borderType = border::Outline;
    int sortBy = 0;
    std::array<int, 3> sortKeys{0, 0, 0}, sortOrders{1, 1, 1};
    bool redraw = true, redrawPending = false;
    std::shared_ptr<const grid::DataSource> source;
    bool dAutoFill = true, dAutoCellTypes = true, dAutoHeadings = true;
    int dAutoSizeCols = 2;
    int virtualMaxRows = -1;
    bool virtualMode = false, vScrollSpecial = false, virtualScrollBuffer = false;
    int virtualOverlap = 0;
    std::string fontName = "굴림";
    double fontSize = 9;
    bool fontBold = false, fontItalic = false, fontUnderline = false;
    std::uint32_t selBackColor = 0x8000000D, selForeColor = 0x80000008;
    std::uint32_t shadowColor = 0x8000000F, shadowText = 0x80000012, gridColor = 0xC0C0C0;
    std::uint32_t scrollBarHColor = 0x8000000F, scrollBarVColor = 0x8000000F;
    bool gridShowHoriz = true, gridShowVert = true, gridSolid = true;
    int scrollBars = 3, operationMode = 0, textTip = 0;
    bool allowCellOverflow = false;
    int userResize = 3;
    bool noBeep = false;
    int cursorType = 0, cursorStyle = 0;
    bool autoClipboard = true, moveActiveOnFocus = true;
    int colHeaderRows = 1, rowHeaderCols = 1;
    bool colHeadersShow = true, rowHeadersShow = true;
    int colHeadersAutoText = 2, rowHeadersAutoText = 1;
    std::string printHeader, printFooter, printJobName;
    int marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;
    int printOrientation = 0;
    bool printGrid = true, printBorder = true, printColHeaders = true, printRowHeaders = true;
    bool printSmartPrint = false;
    int printPageStart = 1, printPageEnd = 1, printType = 0, printNextPageBreakRow = 0;
    std::string printFileName, printerName;
    std::uint64_t seq = 0;         // order of settings
    std::uint64_t generation = 1;  // bumped by every change of content
  };

  static std::uint64_t key(int row, int col) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(row)) << 32) | static_cast<std::uint32_t>(col);
  }
  Range target() const;
  template <class F>
  void forEachCell(const Range& r, F&& f) const;
  const Slot* resolve(int row, int col, Attr a) const;
  double attrNum(int row, int col, Attr a) const;
  std::string attrStr(int row, int col, Attr a) const;
  void setAttr(Attr a, double num, const std::string& str = {});
  double currentNum(Attr a) const;
  const Cell* cellAt(int row, int col) const;
  Cell& cellRef(int row, int col);
  bool inGrid(int row, int col) const { return row >= 0 && col >= 0 && row <= s_.maxRows && col <= s_.maxCols; }
  Cell makeCell(int row, int col, const std::string& text, bool asValue) const;
  void writeCells(const Range& r, const std::function<Cell(int, int)>& make);
  FormulaValue evaluate(int row, int col) const;
  std::string displayText(int row, int col, const Cell& c) const;
  LineInfo& rowInfo(int row);
  LineInfo& colInfo(int col);
  const LineInfo* rowInfoAt(int row) const;
  const LineInfo* colInfoAt(int col) const;
  void truncateRows();
  void truncateCols();
  void fill();
  void applyBorder();
  void sort();
  void selectBlock();
  void notify(GridChange::Kind kind, Block cells = {});
  void contentChanged(Block cells);

  State s_;
  ui::Hwnd hwnd_ = 0;
  std::vector<GridListener*> listeners_;
  std::function<void(DataFillArgs&)> onDataFill_;
};

// Colour helpers (Windows colour values: red + 256 * green + 65536 * blue).
bool isValidColour(std::uint32_t colour);
// The RGB value of a colour, with the system colours turned into their usual values.
std::uint32_t rgbOf(std::uint32_t colour);

}  // namespace veltrano::grid
