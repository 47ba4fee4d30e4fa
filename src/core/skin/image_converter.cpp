#include <string>

#include "image/raw_picture.h"
#include "platform/file_system.h"
#include "skin/picture_converter.h"
#include "skin/skin_unpack.h"

namespace resmill::skin {

image::RawToBmpResult ImageConverter::ToOrdinary(const std::filesystem::path& device,
                                                 const std::filesystem::path& target) {
  return image::RawToBmp(device, target, image::kGifFormat);
}

std::optional<std::filesystem::path> ImageConverter::ToDevice(const std::filesystem::path& ordinary,
                                                              image::PictureKind kind,
                                                              const std::filesystem::path& target) {
  // BmpToRaw keeps any GIF or PNG as a G picture, but a K picture of the skin
  // comes back from the unpack as a GIF: asked for a K kind, it must become a
  // K picture again, or the skin would hold GIF bytes under a K picture's name.
  if (kind == image::PictureKind::K18 || kind == image::PictureKind::K32) {
    std::filesystem::path k = target.parent_path() / ReplaceNameExtension(target.filename().string(), ".k");
    if (kind == image::PictureKind::K18) {
      image::EncodeK18(ordinary, k);
    } else {
      image::EncodeK32(ordinary, k);
    }
    return k;
  }
  std::optional<image::BmpToRawResult> written = image::BmpToRaw(ordinary, kind, target);
  if (!written) return std::nullopt;
  return written->written;
}

}  // namespace resmill::skin
