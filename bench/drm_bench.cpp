// DRM unpack, compile and port on the large sample DRM (3,000 RAW pictures up
// to 176x220 and 4,000 GIF-table pictures).
//
//   drm_bench [WORKDIR]          runs every step in a child process of its own and prints
//                                the wall time and the child's peak resident memory.
//   drm_bench WORKDIR unpack     one plain unpack of WORKDIR/large.bin (for a profiler)
//   drm_bench WORKDIR compile    one plain compile of that unpacked tree
//   drm_bench WORKDIR port       one plain port from WORKDIR/plain into that tree
//   drm_bench WORKDIR step NAME [WORKERS]
//                                one step of the default run as a whole process of its own, so that
//                                bench/run can time it and take its peak memory with /usr/bin/time:
//                                generate (WORKDIR/large.bin), unpack (-> plain), unpack-png (-> converted),
//                                compile / compile-png (-> plain.bin / converted.bin), target (plain unpack
//                                -> target), port / port-png (plain / converted -> target). WORKERS (default
//                                0, one per core) is the number of threads that convert pictures; 1 is the
//                                single-thread run.
//
// The conversion baselines time RawToBmp over every RAW file and BmpToRaw over
// every PNG copy on their own: what the unpack and compile with conversion add
// on top of their plain runs should be about that much.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>

#include "drm/compile.h"
#include "drm/port.h"
#include "drm/unpack.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/ordered_parallel.h"
#include "sample/drm_sample.h"

namespace fs = std::filesystem;
using namespace resmill;

namespace {

void Step(const char* name, const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  pid_t child = ::fork();
  if (child == 0) {
    try {
      work();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", name, e.what());
      std::_Exit(1);
    }
    std::_Exit(0);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-34s %8.3f s %8.1f MiB%s\n", name, seconds, static_cast<double>(usage.ru_maxrss) / 1024.0,
              WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "  FAILED");
  std::fflush(stdout);
}

fs::path Tree(const fs::path& work, const char* name) {
  fs::path tree = work / name;
  fs::remove_all(tree);
  fs::create_directories(tree / "icons");
  return tree;
}

void Unpack(const fs::path& image, const fs::path& tree, bool convert, unsigned workers = kAllCores) {
  NullProgress progress;
  drm::UnpackDrm(image, tree, convert, progress, workers);
}

void Compile(const fs::path& image, const fs::path& tree, const fs::path& out, bool convert,
             unsigned workers = kAllCores) {
  NullProgress progress;
  drm::CompileDrm(tree, image, out, convert, progress, {}, workers);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "resmill-drm-bench";
  fs::create_directories(work);
  const fs::path image = work / "large.bin";
  if ((argc == 4 || argc == 5) && std::string(argv[2]) == "step") {
    const std::string step = argv[3];
    const unsigned workers = argc == 5 ? static_cast<unsigned>(std::stoul(argv[4])) : kAllCores;
    try {
      if (step == "generate") {
        sample::WriteFile(image.string(), sample::BuildDrmImage(sample::LargeDrm()));
      } else if (step == "unpack" || step == "unpack-png") {
        const bool png = step == "unpack-png";
        Unpack(image, Tree(work, png ? "converted" : "plain"), png, workers);
      } else if (step == "compile" || step == "compile-png") {
        const bool png = step == "compile-png";
        Compile(image, work / (png ? "converted" : "plain"), work / (png ? "converted.bin" : "plain.bin"), png,
                workers);
      } else if (step == "target") {
        Unpack(image, Tree(work, "target"), false);
      } else if (step == "port" || step == "port-png") {
        const bool png = step == "port-png";
        NullProgress progress;
        if (!drm::PortDrm(work / (png ? "converted" : "plain"), work / "target", png, progress).compatible) {
          std::fprintf(stderr, "drm_bench: port refused\n");
          return 1;
        }
      } else {
        std::fprintf(stderr, "drm_bench: unknown step '%s'\n", step.c_str());
        return 2;
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "drm_bench: %s: %s\n", step.c_str(), e.what());
      return 1;
    }
    return 0;
  }
  if (argc > 2) {  // one plain step, for a profiler
    if (std::string(argv[2]) == "unpack") Unpack(image, Tree(work, "profile"), false);
    if (std::string(argv[2]) == "compile") Compile(image, work / "profile", work / "profile.bin", false);
    if (std::string(argv[2]) == "port") {
      NullProgress progress;
      drm::PortDrm(work / "plain", work / "profile", false, progress);
    }
    return 0;
  }
  std::printf("%-34s %10s %12s\n", "step", "wall", "peak RSS");
  Step("generate the large DRM", [&] { sample::WriteFile(image.string(), sample::BuildDrmImage(sample::LargeDrm())); });
  std::printf("image: %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(image)));

  const fs::path plain = Tree(work, "plain"), converted = Tree(work, "converted"), target = Tree(work, "target");
  Step("unpack without conversion", [&] { Unpack(image, plain, false); });
  Step("unpack with PNG conversion", [&] { Unpack(image, converted, true); });
  Step("compile without conversion", [&] { Compile(image, plain, work / "plain.bin", false); });
  Step("compile with PNG conversion", [&] { Compile(image, converted, work / "converted.bin", true); });
  Unpack(image, target, false);
  Step("port without conversion", [&] {
    NullProgress progress;
    drm::PortDrm(plain, target, false, progress);
  });
  Step("port with conversion", [&] {
    NullProgress progress;
    drm::PortDrm(converted, target, true, progress);
  });

  const fs::path scratch = Tree(work, "scratch");
  Step("baseline: RawToBmp of every RAW", [&] {
    for (const FoundFile& raw : FindFiles(plain / "raws", "*.raw")) {
      image::RawToBmp(raw.path, scratch / (raw.name + ".png"), image::kPngFormat);
    }
  });
  Step("baseline: BmpToRaw of every PNG", [&] {
    for (const FoundFile& png : FindFiles(converted / "icons", "*.png")) {
      image::BmpToRaw(png.path, image::PictureKind::Raw, scratch / "temp.raw");
    }
  });
  auto same = [](const fs::path& a, const fs::path& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y), {});
  };
  std::printf("compiled images identical to the input: %s\n",
              same(work / "plain.bin", image) && same(work / "converted.bin", image) ? "yes" : "NO");
  return 0;
}
