#include "replacement/gif_resize.h"

#include <algorithm>

#include <fmt/format.h>

#include "replacement/icon_size.h"
#include "image/picture_convert.h"
#include "platform/atomic_output.h"
#include "platform/binary_file.h"
#include "platform/error.h"

namespace resmill::replacement {

namespace g = image::graphics;

namespace {

// Icons and their animations are small; a source far beyond this is not an icon
// and would only tie up memory.
constexpr std::int64_t kMaxSourceBytes = 64 * 1024 * 1024;

std::vector<std::uint8_t> ReadWholeGif(BinaryFile& file) {
  std::int64_t size = file.Size();
  if (size > kMaxSourceBytes) {
    throw Error(Error::Kind::Limit, fmt::format("{}: {} bytes is more than a GIF icon may hold ({} bytes)",
                                                file.Path().string(), size, kMaxSourceBytes));
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  bytes.resize(file.ReadAt(0, bytes));
  return bytes;
}

std::vector<std::uint8_t> ReadGifFile(const std::filesystem::path& path) {
  BinaryFile file(path, BinaryFile::Mode::Read);
  std::vector<std::uint8_t> bytes = ReadWholeGif(file);
  file.Close();
  return bytes;
}

// [first, last) of a source axis of `from` pixels, scaled to `to` pixels and rounded
// to the nearest pixel edges: a pixel belongs to the frame when the frame covers at
// least half of it, the rule by which its pixels become opaque or transparent.
std::pair<int, int> ScaledSpan(int first, int last, int from, int to) {
  first = std::clamp(first, 0, from);
  last = std::clamp(last, first, from);
  auto scaled = [&](int at) { return static_cast<int>((2 * std::int64_t{at} * to + from) / (2 * std::int64_t{from})); };
  int begin = std::min(scaled(first), to - 1);
  int end = std::max(scaled(last), begin + 1);
  return {begin, end};
}

// The file as written must read back as the frames meant: same screen, frames,
// places, timing, looping block and colour indices.
void VerifyWrittenGif(const std::filesystem::path& written, const std::filesystem::path& target, int width,
                      int height, const std::vector<g::GifOutputFrame>& frames,
                      const g::GifApplicationBlock* application) {
  g::GifAnimation back;
  try {
    back = g::DecodeGifAnimation(ReadGifFile(written), written);
  } catch (const Error& e) {
    ThrowReadBackFailure("GIF", target, "whole file", e.what());
  }
  auto differ = [&](std::string_view where, std::string_view what) {
    ThrowReadBackFailure("GIF", target, where, what);
  };
  if (back.width != width || back.height != height) {
    differ("logical screen", fmt::format("{} x {} instead of {} x {}", back.width, back.height, width, height));
  }
  if (back.frames.size() != frames.size()) {
    differ("frames", fmt::format("{} instead of {}", back.frames.size(), frames.size()));
  }
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const g::GifOutputFrame& meant = frames[k];
    const g::GifSourceFrame& read = back.frames[k];
    std::string where = fmt::format("frame {}", k + 1);
    if (read.left != meant.left || read.top != meant.top || read.width != meant.picture.width ||
        read.height != meant.picture.height) {
      differ(where, fmt::format("at ({}, {}) {} x {}", read.left, read.top, read.width, read.height));
    }
    if (!(read.control == meant.control)) {
      differ(where, fmt::format("disposal {} delay {}", read.control.disposal, read.control.delay));
    }
    if ((read.transparentIndex >= 0) != meant.picture.hasTransparent || read.indices != meant.picture.indices) {
      differ(where, "other pixels");
    }
  }
  bool applicationKept =
      application == nullptr ? !back.application : back.application && *back.application == *application;
  if (!applicationKept) differ("application extension", back.application ? back.application->identifier : "none");
}

}  // namespace

void ParseGif(GifWorkArea& area, BinaryFile& file) {
  area.frameCount = 0;
  area.frameCount = g::CountGifFrames(ReadWholeGif(file), file.Path());
}

FrameRect ScaledFrameRect(const g::GifSourceFrame& frame, int screenWidth, int screenHeight, int width, int height) {
  auto [left, right] = ScaledSpan(frame.left, frame.left + frame.width, screenWidth, width);
  auto [top, bottom] = ScaledSpan(frame.top, frame.top + frame.height, screenHeight, height);
  return FrameRect{left, top, right - left, bottom - top};
}

std::vector<g::GifOutputFrame> ResizeFrames(const g::GifAnimation& animation, int width, int height,
                                            g::Scaler& scaler) {
  const int screenWidth = animation.width, screenHeight = animation.height;
  std::vector<g::GifOutputFrame> out;
  out.reserve(animation.frames.size());
  for (const g::GifSourceFrame& frame : animation.frames) {
    // The whole screen is resized, not the frame alone: its edges then fall where the
    // screen's resize puts them, and frames of different places stay in register.
    g::Bitmap scaled = scaler.Resample(frame.OnScreen(screenWidth, screenHeight), width, height);
    FrameRect rect = ScaledFrameRect(frame, screenWidth, screenHeight, width, height);
    g::Bitmap piece(rect.width, rect.height);
    for (int y = 0; y < rect.height; ++y) {
      const g::Argb* from = scaled.Row(rect.top + y) + rect.left;
      std::copy(from, from + rect.width, piece.Row(y));
    }
    g::SnapAlphaAtHalf(piece);
    out.push_back({rect.left, rect.top, g::QuantizeForGif(piece), frame.control});
  }
  return out;
}

bool ResizeGif(GifWorkArea& area, const std::filesystem::path& source, const std::filesystem::path& target,
               int width, int height, UserInterface& ui) {
  if (CheckIconSize(width, height, target.filename().string(), ui)) return false;
  if (width < 0 || height < 0) {
    throw Error(Error::Kind::Refused, fmt::format("{}: cannot resize to {} x {}", target.string(), width, height));
  }
  if (width > g::kMaxSide || height > g::kMaxSide ||
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > g::kMaxPixels) {
    throw Error(Error::Kind::Limit, fmt::format("{}: cannot resize to {} x {}, more than a picture may hold",
                                                target.string(), width, height));
  }
  image::RawSize size = image::GetPictureSize(source);
  if (size.width == width && size.height == height) {
    CopyFileAtomically(source, target);
    return true;
  }
  const g::GifAnimation animation = g::DecodeGifAnimation(ReadGifFile(source), source);
  const std::vector<g::GifOutputFrame> frames = ResizeFrames(animation, width, height, area.scaler);
  const g::GifApplicationBlock* application = animation.application ? &*animation.application : nullptr;
  const std::vector<std::uint8_t> bytes = g::EncodeGifAnimation(width, height, frames, application);

  AtomicOutputFile out(target);
  out.SetVerifier([&](const std::filesystem::path& written) {
    VerifyWrittenGif(written, target, width, height, frames, application);
  });
  out.File().Write(bytes);
  out.Commit();
  return true;
}

}  // namespace resmill::replacement
