#pragma once
// Skins built byte by byte, independent of PackSkin, and a stand-in for the
// picture codecs that makes conversions visible and reversible.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "skin/picture_converter.h"

namespace resmill::skin::test {

using Bytes = std::vector<std::uint8_t>;

void AppendU32(Bytes& out, std::uint32_t v);
void SetU32(Bytes& out, std::size_t at, std::uint32_t v);

struct RawEntry {
  std::string name;
  Bytes data;
};

/// The layout the pack writes: header, names, zero padding to 4, directory,
/// entries, data blocks. Tests then damage the bytes where they want.
Bytes BuildSkin(const std::vector<RawEntry>& entries);
/// Offsets inside a skin made by BuildSkin.
struct Layout {
  std::uint32_t directory = 0;
  std::uint32_t count = 0;
  std::uint32_t table = 0;
  std::uint32_t data = 0;
};
Layout LayoutOf(const Bytes& skin);

/// A K picture header (width, height, bits per pixel, stride) followed by `payload` bytes.
Bytes KPicture(std::uint32_t bitsPerPixel, std::size_t payload, std::uint8_t fill);
/// "GIF89a" followed by `payload` bytes.
Bytes GPicture(std::size_t payload, std::uint8_t fill);

/// Name → bytes of every picture in a skin file, read by hand (not by the reader under test).
std::map<std::string, Bytes> PicturesOf(const Bytes& skin);
std::vector<std::string> NamesOf(const Bytes& skin);

/// ToOrdinary writes "ORD" + kind byte + the device bytes to the target with
/// ".gif" (G pictures keep the target as given); ToDevice strips that prefix
/// again and writes the kind's extension. Unknown extensions give nothing.
class FakeConverter final : public PictureConverter {
 public:
  image::RawToBmpResult ToOrdinary(const std::filesystem::path& device, const std::filesystem::path& target) override;
  std::optional<std::filesystem::path> ToDevice(const std::filesystem::path& ordinary, image::PictureKind kind,
                                                const std::filesystem::path& target) override;

  struct Call {
    std::string source;
    image::PictureKind kind;
    std::string target;
  };
  std::vector<Call> toDevice;
  /// ToDevice of this file name gives nothing.
  std::string failOn;
  /// ToDevice of this file name throws.
  std::string throwOn;
};

}  // namespace resmill::skin::test
