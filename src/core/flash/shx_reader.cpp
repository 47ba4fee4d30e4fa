// Superfile reading: the flash header, then S-record text in sections that each
// end with an S7 record. Every record is verified before its data count; a
// damaged file gives no code-group file at all.

#include "flash/shx_reader.h"

#include <vector>

#include <fmt/format.h>

#include "flash/code_group_files.h"
#include "flash/srec.h"

namespace resmill::flash {

namespace {

// Data records (S1, S2, S3) go to the section being collected; each S7 ends a section.
void SplitSections(SRecordDecoder& decoder, detail::CodeGroupWriter& writer) {
  std::vector<std::uint8_t> decoded(decoder.BlockSize() + kMaxRecordBytes);
  std::size_t decodedLength = 0;
  auto flush = [&] {
    writer.Append(std::span(decoded.data(), decodedLength));
    decodedLength = 0;
  };
  const std::size_t sections = writer.SectionsExpected();
  std::size_t section = 0;
  SRecord record;
  while (decoder.Next(record, decoded.data() + decodedLength)) {
    if (record.type >= 1 && record.type <= 3) {
      if (section == sections) {
        decoder.Fail(fmt::format("data after the last of the {} sections the code-group table lists", sections));
      }
      decodedLength += record.data.size();
      if (decodedLength >= decoder.BlockSize()) flush();
    } else if (record.type == 7) {
      if (section == sections) {
        decoder.Fail(fmt::format("more sections than the {} the code-group table lists", sections));
      }
      flush();
      writer.EndSection();
      ++section;
    }
  }
  if (section < sections) {
    decoder.Fail(fmt::format("the file ends after {} of the {} sections the code-group table lists "
                             "(no S7 record ends the section of {})",
                             section, sections, writer.CurrentName().string()));
  }
}

}  // namespace

bool ExtractShxCodeGroups(const std::filesystem::path& flashFile, const std::filesystem::path& slotFolder,
                          Progress& progress) {
  return detail::ExtractCodeGroups(flashFile, slotFolder, progress, [](auto& opened, auto& writer, auto& step) {
    SRecordDecoder decoder(opened.flash, opened.header, {.readBackOf = {}, .progress = &step});
    SplitSections(decoder, writer);
  });
}

}  // namespace resmill::flash
