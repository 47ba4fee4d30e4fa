// resmill-make-samples: writes the example flash files that the README's
// walkthrough opens. Everything is drawn by the program itself.
//
//   resmill-make-samples OUTDIR            sample.bin, sample.smg, sample.shx, sample.sbf,
//                                          sample-source.shx, sample-v0.bin
//   resmill-make-samples --large OUTDIR    large.bin (3,000 RAW + 4,000 GIF-table pictures)
//   resmill-make-samples --corpus OUTDIR   small images and descr.dat files for the fuzz corpora

#include <filesystem>
#include <iostream>
#include <string>

#include "sample/drm_sample.h"

int main(int argc, char** argv) {
  using namespace resmill::sample;
  bool large = false;
  bool corpus = false;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--large") {
      large = true;
    } else if (arg == "--corpus") {
      corpus = true;
    } else if (arg == "--help" || arg == "-h" || !folder.empty()) {
      std::cerr << "usage: resmill-make-samples [--large | --corpus] OUTDIR\n";
      return arg == "--help" || arg == "-h" ? 0 : 2;
    } else {
      folder = arg;
    }
  }
  if (folder.empty()) {
    std::cerr << "usage: resmill-make-samples [--large | --corpus] OUTDIR\n";
    return 2;
  }
  try {
    std::filesystem::create_directories(folder);
    auto at = [&folder](const char* name) { return (std::filesystem::path(folder) / name).string(); };
    if (corpus) {
      DrmRecipe small;
      small.raws = {DrawRaw(3, 2, 1, true), DrawRaw(4, 4, 2, false)};
      small.gifs = {DrawGif(4, 4, 1, false, 1), DrawBmp(2, 2, 1), {}};
      WriteFile(at("v1-long.bin"), BuildDrmImage(small));
      small.longHeader = false;
      WriteFile(at("v1-short.bin"), BuildDrmImage(small));
      small.headerAtEight = false;
      small.headerWord = 0x20000011;
      WriteFile(at("v1-word0.bin"), BuildDrmImage(small));
      DrmRecipe v0;
      v0.variant = 0;
      v0.markerOffset = 456;
      v0.headerWord = 0x10B00040;
      v0.gifs = {DrawGif(3, 3, 2, true, 3), {'B', 'M'}};
      WriteFile(at("v0.bin"), BuildDrmImage(v0));
      return 0;
    }
    if (large) {
      WriteFile(at("large.bin"), BuildDrmImage(LargeDrm()));
      return 0;
    }
    const Bytes drm = BuildDrmImage(SampleDrm());
    WriteFile(at("sample.bin"), drm);
    WriteFile(at("sample.smg"), drm);
    const FlashSpec flash = SampleFlash(drm, 0x10D00000);
    WriteFile(at("sample.shx"), WrapAsSuperfile(flash));
    WriteFile(at("sample.sbf"), WrapAsSbf(flash));
    // A second phone's firmware with other pictures, to port from.
    DrmRecipe other = SampleDrm(7);
    other.gifs.resize(20);
    WriteFile(at("sample-source.sbf"), WrapAsSbf(SampleFlash(BuildDrmImage(other), 0x10D00000)));
    WriteFile(at("sample-v0.bin"), BuildDrmImage(SampleVariant0Drm()));
  } catch (const std::exception& e) {
    std::cerr << "resmill-make-samples: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
