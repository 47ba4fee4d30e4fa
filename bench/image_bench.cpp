// Per-picture time of the picture conversions over many pictures in one process.
//
//   image_bench FOLDER            every *.png of FOLDER (the 176x220 pictures of bench/image-peers.sh)
//   image_bench --scale SRC DST WIDTH HEIGHT    one ScalePicture, to the format of DST's extension
//   image_bench --step STEP IN OUT [RUNS]       one step over every input of IN, RUNS passes (default 5)
//   image_bench --resample SRC WIDTH HEIGHT [RUNS]   the scaler alone on SRC's pixels: time per scale
//                                                    with its set-up kept, and with a fresh set-up
//
// For each step prints the mean wall time per picture in milliseconds:
// PNG -> RAW, RAW -> PNG, PNG -> K18, K18 -> PNG, ScalePicture to 48x48 PNG.
//
// --step runs a single step so that a whole process holds nothing but that step
// (bench/run takes its peak memory with /usr/bin/time) and prints the best pass:
//   png-raw  IN/*.png -> OUT/<name>(WxH).raw    raw-png  IN/*.raw -> OUT/<name>.png
//   png-k18  IN/*.png -> OUT/<name>.k           k18-png  IN/*.k   -> OUT/<name>.png
//   scale    IN/*.png -> OUT/<name>.png (ScalePicture 48x48)
//   scale-gif IN/*.png -> OUT/<name>.gif (ScalePicture 48x48)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "image/graphics/graphics.h"
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

std::vector<fs::path> FilesWithExtension(const fs::path& folder, const std::string& extension) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

int RunStep(const std::string& step, const fs::path& in, const fs::path& out, int runs) {
  struct StepKind {
    const char* name;
    const char* input;
    std::function<void(const fs::path&, const fs::path&)> convert;
  };
  const StepKind steps[] = {
      {"png-raw", ".png",
       [](const fs::path& source, const fs::path& folder) {
         // The size tag in the name is how a RAW picture carries its size, as in an unpacked tree.
         auto size = image::GetPictureSize(source);
         fs::path target = folder / (source.stem().string() + "(" + std::to_string(size.width) + "x" +
                                     std::to_string(size.height) + ").raw");
         if (!image::BmpToRaw(source, image::PictureKind::Raw, target)) throw std::runtime_error("no RAW");
       }},
      {"raw-png", ".raw",
       [](const fs::path& source, const fs::path& folder) {
         if (!image::RawToBmp(source, folder / (source.stem().string() + ".png"), image::kPngFormat).produced) {
           throw std::runtime_error("no PNG from " + source.string());
         }
       }},
      {"png-k18", ".png",
       [](const fs::path& source, const fs::path& folder) {
         image::EncodeK18(source, folder / (source.stem().string() + ".k"));
       }},
      {"k18-png", ".k",
       [](const fs::path& source, const fs::path& folder) {
         if (!image::RawToBmp(source, folder / (source.stem().string() + ".png"), image::kPngFormat).produced) {
           throw std::runtime_error("no PNG from " + source.string());
         }
       }},
      {"scale", ".png",
       [](const fs::path& source, const fs::path& folder) {
         if (!image::ScalePicture(source, folder / (source.stem().string() + ".png"), 48, "image/png", 48)) {
           throw std::runtime_error("no scaled picture from " + source.string());
         }
       }},
      {"scale-gif", ".png",
       [](const fs::path& source, const fs::path& folder) {
         if (!image::ScalePicture(source, folder / (source.stem().string() + ".gif"), 48, "image/gif", 48)) {
           throw std::runtime_error("no scaled picture from " + source.string());
         }
       }},
  };
  const StepKind* kind = nullptr;
  for (const StepKind& candidate : steps) {
    if (step == candidate.name) kind = &candidate;
  }
  if (kind == nullptr || runs < 1) {
    std::fprintf(stderr, "image_bench: unknown step '%s' or no runs\n", step.c_str());
    return 2;
  }
  std::vector<fs::path> inputs = FilesWithExtension(in, kind->input);
  if (inputs.empty()) {
    std::fprintf(stderr, "image_bench: no %s pictures in %s\n", kind->input, in.c_str());
    return 2;
  }
  fs::create_directories(out);
  std::vector<double> passes;
  for (int run = 0; run < runs; ++run) {
    auto start = std::chrono::steady_clock::now();
    for (const fs::path& source : inputs) kind->convert(source, out);
    passes.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(passes.begin(), passes.end());
  const double count = static_cast<double>(inputs.size());
  std::printf("%s: best %.4f ms per picture, median %.4f (%zu pictures, %d passes)\n", kind->name,
              passes.front() / count, passes[passes.size() / 2] / count, inputs.size(), runs);
  return 0;
}

// The scaler alone: the picture is decoded once, then scaled RUNS times with one kept
// set-up (as the frames of an animation are) and RUNS times with a fresh one (as
// ScalePicture does for each picture).
int RunResample(const fs::path& source, int width, int height, int runs) {
  namespace g = image::graphics;
  std::optional<g::Bitmap> picture = g::LoadBitmap(source);
  if (!picture || width <= 0 || height <= 0 || runs < 1) {
    std::fprintf(stderr, "image_bench: cannot scale %s to %dx%d\n", source.c_str(), width, height);
    return 2;
  }
  auto best = [&](bool keep) {
    g::Scaler kept;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
      g::Scaler fresh;
      auto start = std::chrono::steady_clock::now();
      g::Bitmap out = (keep ? kept : fresh).Resample(*picture, width, height);
      times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return *std::min_element(times.begin(), times.end());
  };
  double warm = best(true), cold = best(false);
  std::printf("resample: best %.4f ms per scale with its set-up kept, %.4f ms with a fresh set-up (%d runs)\n", warm,
              cold, runs);
  return 0;
}

std::string_view MimeOf(const fs::path& file) {
  std::string extension = file.extension().string();
  for (const auto& format : image::OutputFormats) {
    if (extension == format.extension) return format.mime;
  }
  return "image/png";
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 6 && std::string(argv[1]) == "--scale") {
      return image::ScalePicture(argv[2], argv[3], std::atoi(argv[4]), MimeOf(argv[3]), std::atoi(argv[5])) ? 0 : 1;
    }
    if ((argc == 5 || argc == 6) && std::string(argv[1]) == "--resample") {
      return RunResample(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argc == 6 ? std::atoi(argv[5]) : 200);
    }
    if ((argc == 5 || argc == 6) && std::string(argv[1]) == "--step") {
      return RunStep(argv[2], argv[3], argv[4], argc == 6 ? std::atoi(argv[5]) : 5);
    }
    if (argc != 2) {
      std::fprintf(stderr,
                   "usage: image_bench FOLDER | image_bench --scale SRC DST WIDTH HEIGHT | "
                   "image_bench --step STEP IN OUT [RUNS] | image_bench --resample SRC WIDTH HEIGHT [RUNS]\n");
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
    std::size_t n = pictures.size();
    TimePerPicture("PNG -> RAW", n, [&](std::size_t i) {
      auto size = image::GetPictureSize(pictures[i]);
      raws[i] = out / (std::to_string(i) + "(" + std::to_string(size.width) + "x" + std::to_string(size.height) +
                       ").raw");
      image::BmpToRaw(pictures[i], image::PictureKind::Raw, raws[i]);
    });
    TimePerPicture("RAW -> PNG", n, [&](std::size_t i) {
      image::RawToBmp(raws[i], out / (std::to_string(i) + "r.png"), image::kPngFormat);
    });
    TimePerPicture("PNG -> K18", n, [&](std::size_t i) {
      ks[i] = out / (std::to_string(i) + ".k");
      image::EncodeK18(pictures[i], ks[i]);
    });
    TimePerPicture("K18 -> PNG", n, [&](std::size_t i) {
      image::RawToBmp(ks[i], out / (std::to_string(i) + "k.png"), image::kPngFormat);
    });
    TimePerPicture("ScalePicture 48x48 PNG", n, [&](std::size_t i) {
      image::ScalePicture(pictures[i], out / (std::to_string(i) + "s.png"), 48, "image/png", 48);
    });
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "image_bench: %s\n", e.what());
    return 1;
  }
}
