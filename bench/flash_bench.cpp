// Throughput of the flash readers and writer on a 64 MiB code group.
//
//   flash_bench                       generate, then time extraction and writing in-process
//   flash_bench generate DIR          DIR/drm.bin (64 MiB), DIR/work/{header,ramdld}.bin, DIR/image.shx
//   flash_bench extract SHX OUTDIR    one superfile extraction
//   flash_bench write WORKDIR DRM OUT one superfile write
//
// Rates are MB/s (10^6 bytes) of S-record text, the unit srec_cat and objcopy are
// compared in by bench/flash-peers.sh, which also measures the peak memory.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "flash/flash_header.h"
#include "flash/shx_reader.h"
#include "flash/superfile_verify.h"
#include "flash/superfile_writer.h"
#include "platform/binary_file.h"
#include "platform/error.h"

namespace fs = std::filesystem;
using resmill::flash::kFlashHeaderSize;

namespace {

constexpr std::size_t kImageSize = std::size_t{64} << 20;
constexpr std::uint32_t kDrmStart = 0x10000000;

void WriteFile(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::tm FixedTime() {
  std::tm t{};
  t.tm_year = 106;
  t.tm_mon = 2;
  t.tm_mday = 5;
  return t;
}

void Generate(const fs::path& dir) {
  fs::create_directories(dir / "work");
  std::vector<std::uint8_t> image(kImageSize);
  std::uint32_t x = 1;
  for (auto& b : image) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  WriteFile(dir / "drm.bin", image);
  using namespace resmill::flash;
  FlashHeader header{};
  SetHeaderU32(header, kCountField, 2);
  SetHeaderU32(header, kRamdldEntry + kEntryStart, 0x03FC0000);
  SetHeaderU32(header, kRamdldEntry + kEntryEnd, 0x03FC0000 + 1023);
  SetHeaderU32(header, CodeGroupEntryAt(15) + kEntryStart, kDrmStart);
  SetHeaderU32(header, CodeGroupEntryAt(15) + kEntryEnd, kDrmStart + static_cast<std::uint32_t>(kImageSize) - 1);
  WriteFile(dir / "work" / "header.bin", std::vector<std::uint8_t>(header.begin(), header.end()));
  WriteFile(dir / "work" / "ramdld.bin", std::vector<std::uint8_t>(image.begin(), image.begin() + 1024));
  resmill::NullProgress progress;
  resmill::flash::WriteSuperfile(dir / "work", dir / "drm.bin", dir / "image.shx", FixedTime(), progress);
}

double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double TextMegabytes(const fs::path& superfile) {
  return static_cast<double>(fs::file_size(superfile) - static_cast<std::uintmax_t>(kFlashHeaderSize)) / 1e6;
}

double Extract(const fs::path& shx, const fs::path& out) {
  fs::create_directories(out);
  resmill::NullProgress progress;
  auto start = std::chrono::steady_clock::now();
  if (!resmill::flash::ExtractShxCodeGroups(shx, out, progress)) throw resmill::Error(resmill::Error::Kind::Internal, "no DRM");
  double rate = TextMegabytes(shx) / Seconds(start);
  std::printf("extract: %.1f MB of S-record text at %.0f MB/s\n", TextMegabytes(shx), rate);
  return rate;
}

double Write(const fs::path& work, const fs::path& drm, const fs::path& out) {
  resmill::NullProgress progress;
  auto start = std::chrono::steady_clock::now();
  resmill::flash::WriteSuperfile(work, drm, out, FixedTime(), progress);
  double rate = TextMegabytes(out) / Seconds(start);
  std::printf("write: %.1f MB of S-record text at %.0f MB/s\n", TextMegabytes(out), rate);
  return rate;
}

// The read-back alone, as the write runs it before the rename: its share of the write's time.
double ReadBack(const fs::path& work, const fs::path& drm, const fs::path& out) {
  resmill::BinaryFile image(drm, resmill::BinaryFile::Mode::Read);
  // The work files hold the patched header and RAM downloader already: planning again changes nothing.
  const auto plan = resmill::flash::PlanSuperfile(work / "header.bin", work / "ramdld.bin", image, FixedTime());
  auto start = std::chrono::steady_clock::now();
  resmill::flash::VerifySuperfile(out, out, plan);
  double seconds = Seconds(start);
  std::printf("read-back: %.3f s\n", seconds);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "generate") {
      Generate(args[1]);
    } else if (args.size() == 3 && args[0] == "extract") {
      Extract(args[1], args[2]);
    } else if (args.size() == 4 && args[0] == "write") {
      Write(args[1], args[2], args[3]);
    } else if (args.empty()) {
      fs::path dir = fs::temp_directory_path() / "resmill-flash-bench";
      Generate(dir);
      double bestExtract = 0, bestWrite = 0, bestReadBack = 1e9;
      for (int run = 0; run < 3; ++run) {
        bestExtract = std::max(bestExtract, Extract(dir / "image.shx", dir / "out"));
        bestWrite = std::max(bestWrite, Write(dir / "work", dir / "drm.bin", dir / "again.shx"));
        bestReadBack = std::min(bestReadBack, ReadBack(dir / "work", dir / "drm.bin", dir / "again.shx"));
      }
      const double writeSeconds = TextMegabytes(dir / "again.shx") / bestWrite;
      std::printf("best: extract %.0f MB/s, write %.0f MB/s (%.3f s, read-back included); read-back %.3f s, "
                  "%.0f %% on top of the write without it\n",
                  bestExtract, bestWrite, writeSeconds, bestReadBack,
                  100.0 * bestReadBack / (writeSeconds - bestReadBack));
      fs::remove_all(dir);
    } else {
      std::fprintf(stderr, "usage: flash_bench [generate DIR | extract SHX OUTDIR | write WORKDIR DRM OUT]\n");
      return 2;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
