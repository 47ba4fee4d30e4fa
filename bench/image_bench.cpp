// Per-picture time of the picture conversions over many pictures in one process.
//
//   image_bench FOLDER            every *.png of FOLDER (the 176x220 pictures of bench/image-peers.sh)
//   image_bench --scale SRC DST WIDTH HEIGHT    one ScalePicture to PNG (for the PSNR check)
//
// For each step prints the mean wall time per picture in milliseconds:
// PNG -> RAW, RAW -> PNG, PNG -> K18, K18 -> PNG, ScalePicture to 48x48 PNG.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "image/picture_convert.h"
#include "image/raw_picture.h"
#include "platform/error.h"

namespace fs = std::filesystem;
namespace image = resmill::image;

namespace {

double TimePerPicture(const char* name, std::size_t count, const std::function<void(std::size_t)>& step) {
  auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < count; ++i) step(i);
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-28s %8.3f ms per picture (%zu pictures)\n", name, ms / static_cast<double>(count), count);
  return ms / static_cast<double>(count);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 6 && std::string(argv[1]) == "--scale") {
      return image::ScalePicture(argv[2], argv[3], std::atoi(argv[4]), "image/png", std::atoi(argv[5])) ? 0 : 1;
    }
    if (argc != 2) {
      std::fprintf(stderr, "usage: image_bench FOLDER | image_bench --scale SRC DST WIDTH HEIGHT\n");
      return 2;
    }
    fs::path folder = argv[1];
    std::vector<fs::path> pictures;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().extension() == ".png") pictures.push_back(entry.path());
    }
    std::sort(pictures.begin(), pictures.end());
    if (pictures.empty()) {
      std::fprintf(stderr, "no .png pictures in %s\n", folder.c_str());
      return 2;
    }
    fs::path out = folder / "resmill-out";
    fs::create_directories(out);
    std::vector<fs::path> raws(pictures.size()), ks(pictures.size());
    image::ConversionContext context;
    std::size_t n = pictures.size();
    TimePerPicture("PNG -> RAW", n, [&](std::size_t i) {
      auto size = image::GetPictureSize(pictures[i]);
      raws[i] = out / (std::to_string(i) + "(" + std::to_string(size.width) + "x" + std::to_string(size.height) +
                       ").raw");
      image::BmpToRaw(context, pictures[i], image::PictureKind::Raw, raws[i]);
    });
    TimePerPicture("RAW -> PNG", n, [&](std::size_t i) {
      image::RawToBmp(context, raws[i], out / (std::to_string(i) + "r.png"), image::kPngFormat);
    });
    TimePerPicture("PNG -> K18", n, [&](std::size_t i) {
      ks[i] = out / (std::to_string(i) + ".k");
      image::EncodeK18(pictures[i], ks[i]);
    });
    TimePerPicture("K18 -> PNG", n, [&](std::size_t i) {
      image::RawToBmp(context, ks[i], out / (std::to_string(i) + "k.png"), image::kPngFormat);
    });
    TimePerPicture("ScalePicture 48x48 PNG", n, [&](std::size_t i) {
      image::ScalePicture(pictures[i], out / (std::to_string(i) + "s.png"), 48, "image/png", 48);
    });
    return 0;
  } catch (const resmill::Error& e) {
    std::fprintf(stderr, "image_bench: %s\n", e.what());
    return 1;
  }
}
