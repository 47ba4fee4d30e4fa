// Any bytes offered as a GIF to resize: parsing must end in frames that lie
// inside the body or in a format error, never in a read past the input; the
// split must write complete frame files.

#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "build/gif_resize.h"
#include "platform/binary_file.h"
#include "platform/error.h"
#include "platform/file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace fs = std::filesystem;
  using namespace resmill;
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / ("resmill-fuzz-gif-" + std::to_string(::getpid()));
    fs::create_directories(p);
    return p;
  }();
  static build::GifWorkArea area;  // reused as the program reuses it between resizes
  try {
    build::ParseGifBytes(area, {data, size}, "fuzz.gif");
  } catch (const Error&) {
    return 0;
  }
  std::size_t end = 0;
  for (const build::FrameSpan& span : area.FrameTable) {
    if (span.start != end || span.length == 0) __builtin_trap();
    end = span.start + span.length;
  }
  if (end != area.body.size() || area.FrameControl.size() != area.FrameCount()) __builtin_trap();

  // Splitting writes one file per frame; keep that cheap for the fuzzer.
  if (area.FrameCount() == 0 || area.FrameCount() > 32) return 0;
  fs::path source = folder / "source.gif";
  {
    BinaryFile out(source, BinaryFile::Mode::Create);
    out.Write({data, size});
  }
  std::size_t n = build::SplitGifFrames(area, source, folder);
  for (std::size_t k = 0; k < n; ++k) {
    fs::path frame = build::FrameFilePath(folder, "tempn", k);
    build::GifWorkArea one;
    BinaryFile in(frame, BinaryFile::Mode::Read);
    build::ParseGif(one, in);  // each frame file is itself a GIF of exactly one frame
    if (one.FrameCount() != 1) __builtin_trap();
    in.Close();
    DeleteFileQuietly(frame);
  }
  return 0;
}
