// A Windows product program calling a class of each library, with windows.h included first as
// such programs do: settings through both REGISTRY classes (the registry roots as windows.h
// names them), a number check, a spreadsheet file and a request of the data library.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "lumadata/dictionary.h"
#include "lumadata/registry.h"
#include "lumadata/vbf.h"
#include "lumagrid/cls_excel.h"
#include "lumagrid/registry.h"
#include "lumagrid/vbf.h"

int main() {
  lumagrid::REGISTRY grid;
  grid.HKEY(HKEY_CURRENT_USER);
  grid.KeyPath("SOFTWARE\\VELTRANO\\VUV2013");
  grid.KeyName("DISPLAY");
  grid.KeyValue("FONTNAME");
  grid.SetRegistry("굴림체");
  lumadata::REGISTRY data;
  data.HKEY(HKEY_CURRENT_USER);
  data.KeyPath("SOFTWARE\\VELTRANO\\VUV2013");
  data.KeyName("DISPLAY");
  data.KeyValue("FONTNAME");
  const std::string font = data.GetRegistry();

  lumagrid::VBF checks;
  std::string number = " 2208123455 ";
  const bool valid = checks.ComNo_Check(number) == VARIANT_TRUE;  // the windows.h macro, -1 as the library's

  const std::string file = (std::filesystem::temp_directory_path() / "product.xls").string();
  lumagrid::cls_Excel xls;
  const int created = xls.CreateFile(file);
  xls.WriteValue(lumagrid::xlsText, lumagrid::xlsFont0, lumagrid::xlsLeftAlign, lumagrid::xlsNormal, 1, 1,
                 veltrano::Variant("화물"));
  const int closed = xls.CloseFile();
  const auto size = std::filesystem::file_size(file);
  std::filesystem::remove(file);

  lumadata::Dictionary params;
  params.Add("Name", veltrano::Variant("값"));
  lumadata::VBF db;
  db.DB_OPEN("tarvic");

  std::printf("font=%s valid=%d xls=%d/%d/%zu params=%ld\n", font.c_str(), valid, created, closed,
              static_cast<std::size_t>(size), params.Count());
  return font == "굴림체" && valid && created == 0 && closed == 0 && size > 0 ? 0 : 1;
}
