#pragma once
// Packing a folder of pictures into an EZX skin.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/user_interface.h"
#include "skin/picture_converter.h"

namespace resmill::skin {

struct PackResult {
  bool written = false;             ///< false when the folder held no picture: no file is made
  std::size_t pictures = 0;         ///< entries in the skin
  std::uint32_t directoryOffset = 0;
  std::int64_t size = 0;            ///< bytes in the skin file
};

/// Told the name of a picture that cannot be read or converted, just before the
/// pack fails with an error naming it (the window shows it as "Not Found").
using MissingPictureHandler = std::function<void(std::string_view name)>;

/// A test seam into the pack: lets a test damage the written skin, the way a
/// fault of the pack would, to prove that the read-back catches it. Never set
/// outside tests.
struct WriterFaults {
  /// Called with the complete temporary skin before the read-back; may change it.
  std::function<void(const std::filesystem::path& written)> tamper;
};

/// Builds a skin at `outputFile` from the folder F as the unpack left it.
///
/// The pictures are the device pictures of F/raws ("*.k", "*.g" taken in turn,
/// each search sorted case-blind). With `convertSkinPictures`, every ordinary
/// picture of F/icons ("*.bmp", "*.gif", "*.png" in turn) is converted into
/// F/conv first, as the kind and device name F/icons/conv.dat records for it,
/// or else by its extension (GIF and PNG as G pictures ".g", BMP as 18-bit K
/// pictures ".k"), and replaces the device picture of that name or is added
/// after them. Converted files are deleted afterwards; F/conv stays.
///
/// The skin is written through a temporary file and read back before it takes
/// the output's name: the unpack's reader must find the same names in the same
/// order, consistent hashes and offsets, and the same picture bytes; a failure
/// leaves no skin behind (a failed read-back is a program fault, Kind::Internal). Refused: names
/// longer than 255 bytes or unusable as file names, more than 65,536
/// pictures, a picture longer than 1 MiB.
PackResult PackSkin(const std::filesystem::path& folderF, const std::filesystem::path& outputFile,
                    bool convertSkinPictures, PictureConverter& converter, Progress& progress,
                    const MissingPictureHandler& onMissing = {}, const WriterFaults& faults = {});

}  // namespace resmill::skin
