#include "flash/flash_header.h"

#include <fmt/format.h>

namespace resmill::flash {

std::string HeaderFieldName(std::size_t offset) {
  if (offset >= kDateField && offset < kDateField + kTextFieldSize) return "date text";
  if (offset >= kDescriptionField && offset < kDescriptionField + kTextFieldSize) return "description";
  if (offset >= kCountField && offset < kCountField + 4) return "code-group count";
  if (offset < kRamdldEntry || offset >= CodeGroupEntryAt(kHeaderEntrySlots)) return {};
  if (offset >= kRamdldEntry + kEntrySize && offset < kFirstCodeGroupEntry) return "unused table entry";

  const std::string entry = offset < kFirstCodeGroupEntry
                                ? std::string("RAMDLD")
                                : fmt::format("code group {}", (offset - kFirstCodeGroupEntry) / kEntrySize);
  const std::size_t within = (offset - kRamdldEntry) % kEntrySize;
  if (within < kEntryEnd) return entry + " start address";
  if (within < kEntryFirstBytes) return entry + " end address";
  if (within < kEntryChecksum) return entry + " first 16 bytes";
  return entry + " checksum";
}

FlashHeader ReadFlashHeader(BinaryFile& flash) {
  FlashHeader header{};
  flash.Seek(0);
  flash.ReadExact(header, "the flash header (8172 bytes)");
  return header;
}

}  // namespace resmill::flash
