#pragma once
// The conversion list conv.dat: which device picture each converted picture
// came from and what kind it was, so that the pack can turn an edited picture
// back into the device kind it replaces.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "image/picture_convert.h"

namespace resmill::skin {

/// The file name of the conversion list in a skin's icons folder.
inline constexpr const char* kConvListName = "conv.dat";

/// One record of conv.dat.
struct TConvRec {
  std::string pictureName;    ///< the name in the skin ("x.k")
  std::string convertedName;  ///< the converted file's name, no folder ("x.gif")
  image::PictureKind kind = image::PictureKind::Other;
  bool operator==(const TConvRec&) const = default;
};

/// conv.dat's bytes: a 32-bit little-endian count, then per record the two
/// names, each after its 32-bit little-endian length, and the kind as one byte.
std::vector<std::uint8_t> EncodeConvList(const std::vector<TConvRec>& records);
/// Parses conv.dat's bytes; a count or a length that runs beyond the data, or a
/// kind above 4, is a Format error naming `file` and the offset.
std::vector<TConvRec> DecodeConvList(const std::vector<std::uint8_t>& bytes, const std::filesystem::path& file);

/// Writes the list to `file` (through a temporary file renamed into place).
void WriteConvList(const std::filesystem::path& file, const std::vector<TConvRec>& records);
/// Reads the list; nothing when the file does not exist.
std::optional<std::vector<TConvRec>> ReadConvList(const std::filesystem::path& file);

/// The records keyed by converted name, compared byte for byte (case matters).
/// A name listed twice is found as its later record: the later conversion is
/// the one that wrote the file of that name.
class TSearchTree {
 public:
  void Insert(const TConvRec& record) { records_.insert_or_assign(record.convertedName, record); }
  /// The record of `convertedName`; empty names and the kind Other when it is not listed.
  TConvRec Find(const std::string& convertedName) const;
  std::size_t Size() const noexcept { return records_.size(); }

 private:
  std::map<std::string, TConvRec> records_;
};

}  // namespace resmill::skin
