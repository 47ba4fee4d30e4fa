// Time of ResizeGif, the frame-by-frame resize of the Build run.
//
//   gif_bench SOURCE.gif OUT.gif WIDTHxHEIGHT [RUNS]
//
// Prints the best and the median wall time of RUNS in-process resizes in
// milliseconds; OUT.gif holds the last result (bench/gif-peers.sh checks it).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "replacement/gif_resize.h"
#include "platform/error.h"

namespace {

// The benchmark never asks anything: a size is always given.
class SilentUi final : public resmill::UserInterface {
 public:
  void ShowMessage(std::string_view text, std::string_view caption, resmill::MessageOwner) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
  }
  bool Confirm(std::string_view, std::string_view, resmill::MessageOwner) override { return true; }
  std::optional<resmill::IconSize> AskIconSize(std::string_view, resmill::IconSize) override { return {}; }
  void SetStatusText(std::string_view) override {}
  resmill::Progress& ProgressWindow() override { return progress_; }

 private:
  resmill::NullProgress progress_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: gif_bench SOURCE.gif OUT.gif WIDTHxHEIGHT [RUNS]\n");
    return 2;
  }
  int width = 0, height = 0;
  if (std::sscanf(argv[3], "%dx%d", &width, &height) != 2) return 2;
  int runs = argc > 4 ? std::atoi(argv[4]) : 20;
  std::filesystem::path out(argv[2]);
  SilentUi ui;
  resmill::replacement::GifWorkArea area;
  std::vector<double> times;
  try {
    for (int i = 0; i < runs; ++i) {
      auto start = std::chrono::steady_clock::now();
      resmill::replacement::ResizeGif(area, argv[1], out, width, height, ui);
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
  } catch (const resmill::Error& e) {
    std::fprintf(stderr, "gif_bench: %s\n", e.what());
    return 1;
  }
  std::sort(times.begin(), times.end());
  std::printf("best %.1f ms, median %.1f ms over %d runs\n", times.front(), times[times.size() / 2], runs);
  return 0;
}
