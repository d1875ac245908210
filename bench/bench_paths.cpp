// Windows-style path lookups beside a bare stat(2) of the same native path, in paired rounds:
// fs::fileExists with the case as on disk (target: at most 2x the stat), and with the case
// differing, in folders of 500 and 5,000 files (target: flat as the folder grows, the kept
// listing makes each lookup O(1) once the folder has been read).
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/paired_rounds.h"
#include "platform/fs/fs.h"

namespace {

namespace stdfs = std::filesystem;

struct Folder {
  stdfs::path dir;
  std::vector<std::string> asOnDisk, otherCase, native;
  explicit Folder(int files) {
    dir = stdfs::temp_directory_path() / ("bench-paths-" + std::to_string(getpid()) + "-" + std::to_string(files)) /
          "Program Files" / "Tarvic";
    stdfs::create_directories(dir);
    for (int i = 0; i < files; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "File%05d.Dll", i);
      std::ofstream(dir / name).put('x');
      asOnDisk.push_back((dir / name).string());
      std::string lower = asOnDisk.back();
      for (std::size_t k = lower.size() - std::string(name).size(); k < lower.size(); ++k)
        lower[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[k])));
      otherCase.push_back(lower);
    }
  }
  ~Folder() {
    std::error_code ec;
    stdfs::remove_all(dir.parent_path().parent_path(), ec);
  }
};

Folder& folder(int files) {
  static Folder small(500), large(5000);
  return files == 500 ? small : large;
}

void bareStat(benchmark::State& state, int files) {
  const auto& paths = folder(files).asOnDisk;
  struct stat st {};
  std::size_t found = 0;
  for (auto _ : state)
    for (const std::string& p : paths) found += ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (found != paths.size() * state.iterations()) state.SkipWithError("a file is missing");
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
}

void lookups(benchmark::State& state, const std::vector<std::string>& paths) {
  std::size_t found = 0;
  for (auto _ : state)
    for (const std::string& p : paths) found += veltrano::fs::fileExists(p);
  if (found != paths.size() * state.iterations()) state.SkipWithError("a file was not found");
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
}

}  // namespace

int main(int argc, char** argv) {
  bench::Paired same("paths_same_case_500", "fs::fileExists", "stat", bench::Clock::Cpu, "<= 2");
  same.add(7, [](benchmark::State& s) { lookups(s, folder(500).asOnDisk); }, [](benchmark::State& s) { bareStat(s, 500); });
  for (int files : {500, 5000}) {
    bench::Paired other("paths_other_case_" + std::to_string(files), "fs::fileExists", "stat", bench::Clock::Cpu,
                        "flat from 500 to 5000 files");
    other.add(7, [files](benchmark::State& s) { lookups(s, folder(files).otherCase); },
              [files](benchmark::State& s) { bareStat(s, files); });
  }
  return bench::runPaired(argc, argv);
}
