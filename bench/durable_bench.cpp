// What durable outputs cost: each figure is the best of RUNS, written once with
// the flushes to disk a file that replaces a user's file gets (its data before
// the rename, its folder after) and once without them.
//
//   durable_bench WORKDIR [RUNS]
//
// Rows (tab-separated: what, with the flushes in ms, without them in ms):
//   save   a DRM image of the large sample DRM's size over an existing file, in 64 KiB blocks
//   state  the one-byte state file
//   open   the flush of the whole file system at the end of Open, after unpacking the large DRM
//          (without it: nothing to wait for)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "drm/unpack.h"
#include "platform/atomic_output.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "sample/drm_sample.h"

namespace fs = std::filesystem;
using namespace resmill;

namespace {

double BestMs(int runs, const std::function<void()>& before, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    before();
    auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

void Write(const fs::path& target, const std::vector<std::uint8_t>& bytes, Durability durability) {
  AtomicOutputFile out(target, {durability});
  constexpr std::size_t kBlock = 64 * 1024;
  for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
    out.File().Write(std::span(bytes.data() + at, std::min(kBlock, bytes.size() - at)));
  }
  out.Commit();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: durable_bench WORKDIR [RUNS]\n");
    return 2;
  }
  const fs::path work = argv[1];
  const int runs = argc > 2 ? std::max(1, std::stoi(argv[2])) : 5;
  try {
    fs::create_directories(work);
    const std::vector<std::uint8_t> image = sample::BuildDrmImage(sample::LargeDrm());
    const fs::path save = work / "reflash.bin";
    Write(save, image, Durability::Deferred);
    // Dirty pages of the previous run would otherwise be flushed inside the next one's timing.
    auto settle = [&] { SyncFileSystem(work); };
    const double saveDurable = BestMs(runs, settle, [&] { Write(save, image, Durability::Durable); });
    const double saveDeferred = BestMs(runs, settle, [&] { Write(save, image, Durability::Deferred); });
    std::printf("save %.1f MB\t%.1f\t%.1f\n", static_cast<double>(image.size()) / 1e6, saveDurable, saveDeferred);

    const std::vector<std::uint8_t> state = {'5'};
    const double stateDurable = BestMs(runs, settle, [&] { Write(work / "shxdata.dat", state, Durability::Durable); });
    const double stateDeferred =
        BestMs(runs, settle, [&] { Write(work / "shxdata.dat", state, Durability::Deferred); });
    std::printf("state file\t%.2f\t%.2f\n", stateDurable, stateDeferred);

    const fs::path tree = work / "drmpack";
    const double openFlush = BestMs(
        runs,
        [&] {
          fs::remove_all(tree);
          fs::create_directories(tree / "icons");
          settle();
          NullProgress progress;
          drm::UnpackDrm(save, tree, false, progress);
        },
        [&] { SyncFileSystem(tree); });
    std::printf("open flush\t%.1f\t0\n", openFlush);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "durable_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
