#pragma once
// Unpacking an EZX skin into a folder: every picture under its own name in
// F/raws, and, when asked, an ordinary picture of each in F/icons with the
// conversion list that lets the pack turn them back.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "skin/picture_converter.h"
#include "platform/user_interface.h"

namespace resmill::skin {

/// The sub-folders of a skin's folder F.
inline constexpr const char* kRawsFolder = "raws";
inline constexpr const char* kIconsFolder = "icons";
inline constexpr const char* kConvFolder = "conv";

struct UnpackResult {
  std::size_t entries = 0;    ///< entries in the directory, empty names included
  std::size_t pictures = 0;   ///< picture files written to F/raws
  std::size_t converted = 0;  ///< records written to F/icons/conv.dat
};

/// Validates the whole skin first (nothing is written from a damaged skin),
/// then writes F/raws/<name> for every named entry (a later entry of the same
/// name replaces an earlier one) and, with `convertSkinPictures`, converts each
/// to F/icons (GIF, G pictures in their own format) and writes F/icons/conv.dat.
UnpackResult UnpackSkin(const std::filesystem::path& skinFile, const std::filesystem::path& folderF,
                        bool convertSkinPictures, PictureConverter& converter, Progress& progress);

/// `name` with its extension (from the last ".") replaced by `extension`, or
/// `extension` appended when it has none.
std::string ReplaceNameExtension(std::string_view name, std::string_view extension);

}  // namespace resmill::skin
