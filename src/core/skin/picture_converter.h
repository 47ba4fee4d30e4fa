#pragma once
// The two picture conversions a skin needs, behind one small interface so the
// skin's bookkeeping (which picture becomes which, in which order) can be
// exercised apart from the codecs. ImageConverter is the real one.

#include <filesystem>
#include <optional>

#include "image/picture_convert.h"

namespace resmill::skin {

class PictureConverter {
 public:
  virtual ~PictureConverter() = default;
  /// Device picture → GIF at `target` (a G picture keeps its own format and may change the extension).
  virtual image::RawToBmpResult ToOrdinary(const std::filesystem::path& device, const std::filesystem::path& target) = 0;
  /// Ordinary picture → device picture of `kind` at `target` (the extension may change); nothing when none was made.
  virtual std::optional<std::filesystem::path> ToDevice(const std::filesystem::path& ordinary, image::PictureKind kind,
                                                        const std::filesystem::path& target) = 0;
};

/// RawToBmp and BmpToRaw of the pictures layer.
class ImageConverter final : public PictureConverter {
 public:
  image::RawToBmpResult ToOrdinary(const std::filesystem::path& device, const std::filesystem::path& target) override;
  std::optional<std::filesystem::path> ToDevice(const std::filesystem::path& ordinary, image::PictureKind kind,
                                                const std::filesystem::path& target) override;
};

}  // namespace resmill::skin
