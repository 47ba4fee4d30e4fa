// SBF reading: the flash header, then one block per code group, each with a
// 17-byte lead-in holding its big-endian length, the data, and a 12-byte tail.
// The block structure is walked first (it costs a few reads), so a damaged file
// is refused before any code-group file is written.

#include "flash/sbf_reader.h"

#include <algorithm>
#include <vector>

#include <fmt/format.h>

#include "flash/code_group_files.h"
#include "platform/byte_io.h"
#include "platform/error.h"
#include "platform/numeric.h"

namespace resmill::flash {

namespace {

constexpr std::int64_t kLeadIn = 17;
constexpr std::int64_t kLengthField = 9;
constexpr std::int64_t kTail = 12;
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

struct SbfBlock {
  std::int64_t dataOffset = 0;
  std::int64_t length = 0;
};

std::vector<SbfBlock> WalkBlocks(BinaryFile& flash, const CodeGroupTable& table) {
  std::vector<SbfBlock> blocks;
  const std::int64_t size = flash.Size();
  std::int64_t at = kFlashHeaderSize;
  while (at < size) {
    const std::size_t index = blocks.size();
    const auto where = fmt::format("block {} at offset {}", index + 1, HexOffset(static_cast<std::uint64_t>(at)));
    if (index >= table.entries.size()) {
      ThrowFormatError(flash.Path(), where,
                       fmt::format("more blocks than the {} the code-group table lists", table.entries.size()));
    }
    const std::string name = table.entries[index].FileName.filename().string();
    if (size - at < kLeadIn) {
      ThrowFormatError(flash.Path(), where, fmt::format("the file ends inside the lead-in of the {} block", name));
    }
    const std::int64_t length = ReadU32BEAt(flash, at + kLengthField);
    if (length > size - at - kLeadIn) {
      ThrowFormatError(flash.Path(), where,
                       fmt::format("the {} block's length {} runs past the end of the file ({} bytes remain)", name,
                                   length, size - at - kLeadIn));
    }
    if (length + kTail > size - at - kLeadIn) {
      ThrowFormatError(flash.Path(), where, fmt::format("the file ends inside the tail of the {} block", name));
    }
    blocks.push_back({at + kLeadIn, length});
    at += kLeadIn + length + kTail;
  }
  if (blocks.size() < table.entries.size()) {
    ThrowFormatError(flash.Path(), fmt::format("offset {}", HexOffset(static_cast<std::uint64_t>(size))),
                     fmt::format("the file ends after {} of the {} blocks the code-group table lists (no block for {})",
                                 blocks.size(), table.entries.size(),
                                 table.entries[blocks.size()].FileName.filename().string()));
  }
  return blocks;
}

// Copies each block's data to its code-group file; the block walk comes first, so that
// a damaged file is refused before any byte is copied.
void CopyBlocks(BinaryFile& flash, const CodeGroupTable& table, detail::CodeGroupWriter& writer, ProgressStep& step) {
  const std::vector<SbfBlock> blocks = WalkBlocks(flash, table);
  const std::int64_t total = flash.Size();
  std::int64_t done = kFlashHeaderSize;
  std::int64_t longest = 1;
  for (const SbfBlock& block : blocks) longest = std::max(longest, block.length);
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::int64_t>(longest, kCopyChunk)));
  for (const SbfBlock& block : blocks) {
    flash.Seek(block.dataOffset);
    for (std::int64_t left = block.length; left > 0;) {
      auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(chunk.size())));
      flash.ReadExact(std::span(chunk.data(), want), "a code-group block");
      writer.Append(std::span(chunk.data(), want));
      left -= static_cast<std::int64_t>(want);
      done += static_cast<std::int64_t>(want);
      step.SetPosition(PercentDone(done, total));
    }
    writer.EndSection();
  }
}

}  // namespace

bool ExtractSbfCodeGroups(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder,
                          Progress& progress) {
  return detail::ExtractCodeGroups(flashFile, slotFolder, progress, [](auto& opened, auto& writer, auto& step) {
    CopyBlocks(opened.flash, opened.table, writer, step);
  });
}

}  // namespace resmill::flash
