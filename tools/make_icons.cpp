// resmill-make-icons: writes the transparent icon set that the benchmark resizes.
//
//   resmill-make-icons OUTDIR   icon-<W>x<H>.png (anti-aliased) and icon-<W>x<H>-filled.png
//                               at 176x220, 96x96 and 32x32, and anim.gif (three frames of
//                               176x220 on transparency, one per disposal method)

#include <filesystem>
#include <iostream>
#include <string>

#include "sample/icon_sample.h"

int main(int argc, char** argv) {
  using namespace resmill::sample;
  if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
    std::cerr << "usage: resmill-make-icons OUTDIR\n";
    return argc == 2 ? 0 : 2;
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    const int sizes[][2] = {{176, 220}, {96, 96}, {32, 32}};
    for (const auto& size : sizes) {
      std::string name = "icon-" + std::to_string(size[0]) + "x" + std::to_string(size[1]);
      WriteFile((folder / (name + ".png")).string(), EncodeIconPng(DrawTransparentIcon(size[0], size[1], true)));
      WriteFile((folder / (name + "-filled.png")).string(),
                    EncodeIconPng(DrawTransparentIcon(size[0], size[1], false)));
    }
    WriteFile((folder / "anim.gif").string(), EncodeIconGif(DrawTransparentAnimation()));
  } catch (const std::exception& e) {
    std::cerr << "resmill-make-icons: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
