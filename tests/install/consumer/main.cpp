// A product program calling a class of each library, as the suite's programs do.
#include <cstdio>
#include <string>

#include "lumadata/registry.h"
#include "lumagrid/registry.h"

int main() {
  lumagrid::REGISTRY grid;
  grid.HKEY(lumagrid::HKEY_CURRENT_USER);
  grid.KeyPath("SOFTWARE\\VELTRANO\\VUV2013");
  grid.KeyName("DISPLAY");
  grid.KeyValue("FONTNAME");
  grid.SetRegistry("굴림체");

  lumadata::REGISTRY data;
  data.HKEY(lumadata::HKEY_CURRENT_USER);
  data.KeyPath("SOFTWARE\\VELTRANO\\VUV2013");
  data.KeyName("DISPLAY");
  data.KeyValue("FONTNAME");
  const std::string back = data.GetRegistry();
  std::printf("%s\n", back.c_str());
  return back == "굴림체" ? 0 : 1;
}
