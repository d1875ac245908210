// The gallery's reference pictures: every state drawn on the Linux surface must still give the
// picture and caption box kept under data/progress_bar_gallery, which the Windows test compares
// its GDI drawings with. VELTRANO_WRITE_GALLERY=1 writes them anew (after a deliberate change
// of the drawing; look at the pictures before committing them).
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "progress_bar_gallery.h"

namespace meridox {
namespace {

namespace fs = std::filesystem;

const fs::path kFolder = VELTRANO_GALLERY_DIR;

QImage toImage(const gallery::Picture& p) {
  QImage image(p.width, p.height, QImage::Format_RGB32);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) image.setPixel(x, y, 0xFF000000u | p.at(x, y));
  return image;
}

gallery::Picture fromImage(const QImage& loaded) {
  const QImage image = loaded.convertToFormat(QImage::Format_RGB32);
  gallery::Picture p{image.width(), image.height(), {}};
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) p.pixels.push_back(image.pixel(x, y) & 0xFFFFFFu);
  return p;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ProgressBarGallery, EveryStateStillDrawsItsReferencePicture) {
  const bool write = std::getenv("VELTRANO_WRITE_GALLERY") != nullptr;
  std::string manifest;
  std::set<std::string> names;
  for (const gallery::State& state : gallery::states()) {
    ASSERT_TRUE(names.insert(state.name).second) << "two states named " << state.name;
    const gallery::Drawing d = gallery::draw(state);
    const fs::path file = kFolder / (state.name + ".png");
    manifest += gallery::captionLine(state.name, d.caption) + "\n";
    if (write) {
      fs::create_directories(kFolder);
      ASSERT_TRUE(toImage(d.picture).save(QString::fromStdString(file.string()), "PNG")) << file;
      continue;
    }
    const QImage stored(QString::fromStdString(file.string()));
    ASSERT_FALSE(stored.isNull()) << file << " is missing; VELTRANO_WRITE_GALLERY=1 writes it";
    EXPECT_TRUE(fromImage(stored) == d.picture) << state.name << " no longer draws its reference picture";
  }
  const fs::path captions = kFolder / "captions.txt";
  if (write) {
    std::ofstream(captions, std::ios::binary) << manifest;
    GTEST_SKIP() << "reference pictures written to " << kFolder;
  }
  EXPECT_EQ(readFile(captions), manifest);
}

}  // namespace
}  // namespace meridox
