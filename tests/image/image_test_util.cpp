#include "image_test_util.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "test_support.h"

namespace resmill::test {

using image::graphics::Argb;
using image::graphics::Bitmap;
using image::graphics::MakeArgb;

Bitmap Pattern(int width, int height, bool transparency, int colours) {
  Bitmap b(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      auto r = static_cast<std::uint8_t>((x * 37 + y * 11) & 255);
      auto g = static_cast<std::uint8_t>((y * 53 + x * 7) & 255);
      auto bl = static_cast<std::uint8_t>((x * y * 13 + 91) & 255);
      if (colours > 0) {  // a few colours only
        int k = (x + 3 * y) % colours;
        r = static_cast<std::uint8_t>(k * 255 / colours);
        g = static_cast<std::uint8_t>(255 - k * 40);
        bl = static_cast<std::uint8_t>(k * 97);
      }
      std::uint8_t a = 255;
      if (transparency && x == 0) a = 0;
      if (transparency && x == 1 && y % 2 == 0) a = 128;
      b.Set(x, y, MakeArgb(a, r, g, bl));
    }
  }
  return b;
}

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

bool Magick(const std::string& arguments) { return RunCommand("convert " + arguments) == 0; }

std::optional<Bitmap> MagickRead(const std::filesystem::path& file) {
  // One call: PAM carries the size in its header, and every picture becomes RGBA.
  std::filesystem::path pam = file;
  pam += ".magick.pam";
  if (!Magick(Quote(file) + "'[0]' -alpha set -type TrueColorAlpha -depth 8 pam:" + Quote(pam))) return std::nullopt;
  std::vector<std::uint8_t> bytes = ReadBytes(pam);
  std::filesystem::remove(pam);
  std::string text(bytes.begin(), bytes.end());
  std::size_t end = text.find("ENDHDR\n");
  if (end == std::string::npos) return std::nullopt;
  std::istringstream header(text.substr(0, end));
  int width = 0, height = 0, depth = 0;
  for (std::string key; header >> key;) {
    if (key == "WIDTH") header >> width;
    if (key == "HEIGHT") header >> height;
    if (key == "DEPTH") header >> depth;
  }
  std::size_t offset = end + 7;
  if (width <= 0 || height <= 0 || depth != 4 || bytes.size() < offset + std::size_t(width) * height * 4) {
    return std::nullopt;
  }
  Bitmap b(width, height);
  const std::uint8_t* p = bytes.data() + offset;
  for (std::size_t i = 0; i < b.Pixels().size(); ++i, p += 4) b.Pixels()[i] = MakeArgb(p[3], p[0], p[1], p[2]);
  return b;
}

int MaxDifference(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 256;
  int worst = 0;
  for (std::size_t i = 0; i < a.Pixels().size(); ++i) {
    Argb p = a.Pixels()[i], q = b.Pixels()[i];
    for (int shift = 0; shift < 32; shift += 8) {
      worst = std::max(worst, std::abs(static_cast<int>((p >> shift) & 255) - static_cast<int>((q >> shift) & 255)));
    }
  }
  return worst;
}

double Psnr(const Bitmap& a, const Bitmap& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.Pixels().size(); ++i) {
    Argb p = a.Pixels()[i], q = b.Pixels()[i];
    for (int shift = 0; shift < 24; shift += 8) {
      double d = static_cast<double>((p >> shift) & 255) - static_cast<double>((q >> shift) & 255);
      sum += d * d;
    }
  }
  double mse = sum / (3.0 * static_cast<double>(a.Pixels().size()));
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace resmill::test
