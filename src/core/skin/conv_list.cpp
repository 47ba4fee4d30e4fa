#include "skin/conv_list.h"

#include <fmt/format.h>

#include "platform/atomic_output.h"
#include "platform/binary_file.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace resmill::skin {

namespace {

// conv.dat is ours and small (a few hundred bytes per picture); anything far
// larger is not a conversion list, and reading it whole would only waste memory.
constexpr std::int64_t kMaxConvListSize = std::int64_t{64} << 20;

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  std::uint8_t bytes[4];
  PutU32LE(v, bytes);
  out.insert(out.end(), bytes, bytes + 4);
}

class Cursor {
 public:
  Cursor(const std::vector<std::uint8_t>& bytes, const std::filesystem::path& file) : bytes_(bytes), file_(file) {}

  std::uint32_t U32(std::string_view what) {
    Need(4, what);
    std::uint32_t v = GetU32LE(bytes_.data() + at_);
    at_ += 4;
    return v;
  }
  std::string Text(std::uint32_t length, std::string_view what) {
    Need(length, what);
    std::string text(reinterpret_cast<const char*>(bytes_.data() + at_), length);
    at_ += length;
    return text;
  }
  std::uint8_t Byte(std::string_view what) {
    Need(1, what);
    return bytes_[at_++];
  }
  std::size_t At() const { return at_; }

 private:
  void Need(std::uint64_t count, std::string_view what) {
    if (count > bytes_.size() - at_) {
      ThrowFormatError(file_, fmt::format("offset {}", HexOffset(at_)),
                       fmt::format("file ends inside {} ({} bytes wanted, {} left)", what, count,
                                   bytes_.size() - at_));
    }
  }

  const std::vector<std::uint8_t>& bytes_;
  const std::filesystem::path& file_;
  std::size_t at_ = 0;
};

}  // namespace

std::vector<std::uint8_t> EncodeConvList(const std::vector<TConvRec>& records) {
  std::vector<std::uint8_t> out;
  PutU32(out, static_cast<std::uint32_t>(records.size()));
  for (const TConvRec& r : records) {
    PutU32(out, static_cast<std::uint32_t>(r.pictureName.size()));
    out.insert(out.end(), r.pictureName.begin(), r.pictureName.end());
    PutU32(out, static_cast<std::uint32_t>(r.convertedName.size()));
    out.insert(out.end(), r.convertedName.begin(), r.convertedName.end());
    out.push_back(static_cast<std::uint8_t>(r.kind));
  }
  return out;
}

std::vector<TConvRec> DecodeConvList(const std::vector<std::uint8_t>& bytes, const std::filesystem::path& file) {
  Cursor in(bytes, file);
  const std::uint32_t count = in.U32("the record count");
  std::vector<TConvRec> records;
  for (std::uint32_t i = 0; i < count; ++i) {
    TConvRec r;
    std::string what = fmt::format("record {} of {}", i, count);
    r.pictureName = in.Text(in.U32(what), what);
    r.convertedName = in.Text(in.U32(what), what);
    std::size_t kindAt = in.At();
    std::uint8_t kind = in.Byte(what);
    if (kind > static_cast<std::uint8_t>(image::PictureKind::Other)) {
      ThrowFormatError(file, fmt::format("offset {}", HexOffset(kindAt)),
                       fmt::format("record {} (\"{}\"): picture kind {} is not one of 0…4", i, r.pictureName, kind));
    }
    r.kind = static_cast<image::PictureKind>(kind);
    records.push_back(std::move(r));
  }
  return records;
}

void WriteConvList(const std::filesystem::path& file, const std::vector<TConvRec>& records) {
  WriteFileAtomically(file, EncodeConvList(records));
}

std::optional<std::vector<TConvRec>> ReadConvList(const std::filesystem::path& file) {
  if (!FileExists(file)) return std::nullopt;
  return DecodeConvList(ReadWholeFile(file, kMaxConvListSize, "a conversion list"), file);
}

TConvRec TSearchTree::Find(const std::string& convertedName) const {
  auto it = records_.find(convertedName);
  if (it == records_.end()) return TConvRec{};
  return it->second;
}

}  // namespace resmill::skin
