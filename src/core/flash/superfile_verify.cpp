#include "flash/superfile_verify.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "flash/code_groups.h"
#include "flash/srec.h"
#include "platform/error.h"

namespace resmill::flash {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kSourceBlock = std::size_t{1} << 20;

std::string Listed(const std::vector<std::pair<std::string, std::uint32_t>>& sections) {
  std::string text;
  for (const auto& [name, start] : sections) {
    text += fmt::format("{}{} at 0x{:08X}", text.empty() ? "" : ", ", name, start);
  }
  return text;
}

class SuperfileReadBack {
 public:
  SuperfileReadBack(const fs::path& written, const fs::path& savedAs, const SuperfilePlan& plan)
      : file_(written, BinaryFile::Mode::Read), savedAs_(savedAs), plan_(plan), expected_(kSourceBlock) {}

  void Run();

 private:
  [[noreturn]] void Fail(std::string_view where, std::string_view what) const {
    ThrowReadBackFailure("superfile", savedAs_, where, what);
  }
  void CheckHeader(const FlashHeader& header) const;
  void ExpectLine(SRecordDecoder& decoder, std::string_view line, std::string_view what);
  void CheckSection(SRecordDecoder& decoder, const SuperfileSection& section);

  BinaryFile file_;
  const fs::path& savedAs_;
  const SuperfilePlan& plan_;
  std::array<std::uint8_t, kMaxRecordBytes> data_{};
  std::vector<std::uint8_t> expected_;
  SRecord record_;
};

void SuperfileReadBack::CheckHeader(const FlashHeader& header) const {
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i] != plan_.header[i]) {
      const std::string field = HeaderFieldName(i);
      Fail(fmt::format("offset {}{}", HexOffset(i), field.empty() ? "" : " (" + field + ")"),
           fmt::format("the header byte is {:02X} where {:02X} was planned", header[i], plan_.header[i]));
    }
  }
  // What Open makes of the header: its table must name the planned sections at their addresses.
  const std::string countField = fmt::format("offset {} (code-group count)", HexOffset(kCountField));
  CodeGroupTable table;
  try {
    table = ParseCodeGroupTable(header, savedAs_, "");
  } catch (const Error& e) {
    Fail(countField, fmt::format("the code-group table does not read back ({})", e.what()));
  }
  std::vector<std::pair<std::string, std::uint32_t>> listed, planned;
  for (const CodeGroupEntry& entry : table.entries) listed.emplace_back(entry.FileName.string(), entry.StartAddress);
  for (const SuperfileSection& section : plan_.sections) planned.emplace_back(section.fileName, section.start);
  if (listed != planned) {
    Fail(countField, fmt::format("the code-group table lists {}; the file holds {}", Listed(listed), Listed(planned)));
  }
}

void SuperfileReadBack::ExpectLine(SRecordDecoder& decoder, std::string_view line, std::string_view what) {
  const bool found = decoder.Next(record_, data_.data());
  if (!found || record_.text != line) {
    std::string text(record_.text.substr(0, 20));
    std::replace_if(text.begin(), text.end(), [](char c) { return !std::isprint(static_cast<unsigned char>(c)); }, '.');
    decoder.Fail(fmt::format("{} should stand here, but the file has {}", what,
                             found ? "\"" + text + "\"" : std::string("its end")));
  }
}

void SuperfileReadBack::CheckSection(SRecordDecoder& decoder, const SuperfileSection& section) {
  const std::string& name = section.what;
  std::size_t expectedPos = 0, expectedHave = 0;
  std::int64_t expectedOffset = 0;  // offset in the section's data of expected_[0]
  std::int64_t size = 0;
  std::uint32_t address = section.start;
  std::size_t previous = kRecordDataBytes;
  for (;;) {
    if (!decoder.Next(record_, data_.data())) {
      decoder.Fail(fmt::format("the file ends inside the section of {}; no S7 record closes it", name));
    }
    if (record_.type == 7) break;
    if (record_.type != 3) {
      decoder.Fail(fmt::format("an S3 record of {} or the S7 record after them should start here, not \"S{}\"", name,
                               record_.type));
    }
    const std::span<const std::uint8_t> data = record_.data;
    const std::size_t n = data.size();
    if (n == 0 || n > kRecordDataBytes) {
      decoder.Fail(fmt::format("the record carries {} data bytes, not 1 … {}", n, kRecordDataBytes));
    }
    if (previous != kRecordDataBytes) {
      decoder.Fail(fmt::format("the record before this one carries {} data bytes; only the last record of a "
                               "section may carry fewer than {}",
                               previous, kRecordDataBytes));
    }
    if (record_.address != address) {
      decoder.Fail(fmt::format("the record is for address 0x{:08X}, but {} continues at 0x{:08X}", record_.address,
                               name, address));
    }

    // The decoded bytes against the data they were written from.
    for (std::size_t done = 0; done < n;) {
      if (expectedPos == expectedHave) {
        expectedOffset += static_cast<std::int64_t>(expectedHave);
        expectedHave = section.ReadAt(expectedOffset, expected_);
        expectedPos = 0;
        if (expectedHave == 0) {
          decoder.Fail(fmt::format("the records hold more than the {} bytes of {}", expectedOffset, name));
        }
      }
      const std::size_t k = std::min(n - done, expectedHave - expectedPos);
      if (std::memcmp(data.data() + done, expected_.data() + expectedPos, k) != 0) {
        std::size_t i = 0;
        while (data[done + i] == expected_[expectedPos + i]) ++i;
        decoder.Fail(fmt::format("data byte {} of the record (address 0x{:08X}) is {:02X}, but {} holds {:02X} at "
                                 "offset {}",
                                 done + i + 1, address + done + i, data[done + i], name, expected_[expectedPos + i],
                                 HexOffset(static_cast<std::uint64_t>(expectedOffset) + expectedPos + i)));
      }
      done += k;
      expectedPos += k;
    }
    size += static_cast<std::int64_t>(n);
    address += static_cast<std::uint32_t>(n);
    previous = n;
  }
  if (record_.text != kS7Line) {
    decoder.Fail(fmt::format("the S7 record that closes {} should stand here, not \"{}\"", name, record_.text));
  }
  if (size != section.size) {
    decoder.Fail(fmt::format("the section ends after {} bytes, but {} holds {}", size, name, section.size));
  }
}

void SuperfileReadBack::Run() {
  FlashHeader header{};
  if (file_.ReadAt(0, header) != header.size()) Fail("offset 0", "the file is shorter than a flash header");
  CheckHeader(header);

  SRecordDecoder decoder(file_, header, {.readBackOf = savedAs_, .progress = nullptr});
  for (const SuperfileSection& section : plan_.sections) {
    ExpectLine(decoder, kS0Line, fmt::format("the S0 record that opens {}", section.what));
    CheckSection(decoder, section);
  }
  if (decoder.Next(record_, data_.data())) decoder.Fail("the file goes on after the S7 record that closes it");
}

}  // namespace

void VerifySuperfile(const fs::path& written, const fs::path& savedAs, const SuperfilePlan& plan) {
  SuperfileReadBack(written, savedAs, plan).Run();
}

}  // namespace resmill::flash
