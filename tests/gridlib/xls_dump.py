# Dumps what xlrd reads from an .xls file, one fact a line, tab-separated:
#   biff, encoding, cell (row, column, type, value, font, alignment, locked, hidden, borders,
#   shaded), font (index, name, height, bold, italic, underline, struck out), width (column,
#   width in 1/256 characters). On failure prints "error" and the message.
import sys
import xlrd

sys.stdout.reconfigure(encoding="utf-8")
try:
    book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
except Exception as e:  # the reader's own refusal is part of what is tested
    print("error\t%s" % e)
    sys.exit(0)
sheet = book.sheet_by_index(0)
print("biff\t%d" % book.biff_version)
print("encoding\t%s" % book.encoding)
kinds = {xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_EMPTY: "empty"}
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
            continue
        xf = book.xf_list[cell.xf_index]
        b = xf.border
        borders = "".join(str(int(s != 0)) for s in (b.left_line_style, b.right_line_style, b.top_line_style, b.bottom_line_style))
        value = repr(cell.value) if cell.ctype == xlrd.XL_CELL_NUMBER else cell.value
        print("cell\t%d\t%d\t%s\t%s\t%d\t%d\t%d\t%d\t%s\t%d" % (
            r, c, kinds.get(cell.ctype, str(cell.ctype)), value, xf.font_index, xf.alignment.hor_align,
            xf.protection.cell_locked, xf.protection.formula_hidden, borders, int(xf.background.fill_pattern != 0)))
for i, f in enumerate(book.font_list):
    print("font\t%d\t%s\t%d\t%d\t%d\t%d\t%d" % (i, f.name, f.height, f.bold, f.italic, f.underlined, f.struck_out))
for c, info in sorted(sheet.colinfo_map.items()):
    print("width\t%d\t%d" % (c, info.width))
