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

std::vector<std::uint8_t> ReadGifFile(const std::filesystem::path& path) {
  return ReadWholeFile(path, kMaxSourceBytes, "a GIF icon");
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

// The source's logical screen as a viewer shows it after each frame: frames drawn
// over what earlier ones left, then disposed of as they ask (restored to the
// background clears the frame's rectangle, restored to the previous picture puts
// back what was there before it was drawn).
class Screen {
 public:
  Screen(int width, int height) : shown_(width, height, 0) {}
  bool Empty() const { return empty_; }
  const g::Bitmap& Shown() const { return shown_; }
  // `onScreen` is `frame` on a screen of the same size: its opaque pixels replace what is there.
  void Draw(const g::GifSourceFrame& frame, const g::Bitmap& onScreen) {
    if (frame.control.disposal == g::kGifDisposalPrevious) {
      before_ = shown_;
      beforeEmpty_ = empty_;
    }
    auto from = onScreen.Pixels();
    auto to = shown_.Pixels();
    for (std::size_t i = 0; i < to.size(); ++i) {
      if (g::AlphaOf(from[i]) != 0) {
        to[i] = from[i];
        empty_ = false;
      }
    }
  }
  void Dispose(const g::GifSourceFrame& frame) {
    if (frame.control.disposal == g::kGifDisposalPrevious) {
      shown_ = std::move(before_);
      empty_ = beforeEmpty_;
    } else if (frame.control.disposal == g::kGifDisposalBackground) {
      int right = std::clamp(frame.left + frame.width, 0, shown_.Width());
      int bottom = std::clamp(frame.top + frame.height, 0, shown_.Height());
      for (int y = std::clamp(frame.top, 0, bottom); y < bottom; ++y) {
        std::fill(shown_.Row(y) + std::clamp(frame.left, 0, right), shown_.Row(y) + right, g::Argb{0});
      }
      if (frame.left <= 0 && frame.top <= 0 && right == shown_.Width() && bottom == shown_.Height()) empty_ = true;
    }
  }

 private:
  g::Bitmap shown_, before_;
  bool empty_ = true, beforeEmpty_ = true;
};

}  // namespace

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
  Screen screen(screenWidth, screenHeight);
  for (const g::GifSourceFrame& frame : animation.frames) {
    // The whole screen is resized, not the frame alone: its edges then fall where the
    // screen's resize puts them, and frames of different places stay in register.
    const g::Bitmap own = frame.OnScreen(screenWidth, screenHeight);
    const g::Bitmap ownScaled = scaler.Resample(own, width, height);
    // Where the frame is drawn over what earlier frames left, the viewer sees the two
    // together, and so must the resize: the frame's soft edges then blend with the
    // picture below them, as in the source, instead of taking the frame's colour whole.
    const bool somethingBelow = !own.IsOpaque() && !screen.Empty();
    screen.Draw(frame, own);
    const g::Bitmap shownScaled = somethingBelow ? scaler.Resample(screen.Shown(), width, height) : g::Bitmap();
    const g::Bitmap& shown = somethingBelow ? shownScaled : ownScaled;
    FrameRect rect = ScaledFrameRect(frame, screenWidth, screenHeight, width, height);
    g::Bitmap piece(rect.width, rect.height);
    for (int y = 0; y < rect.height; ++y) {
      const g::Argb* drawn = ownScaled.Row(rect.top + y) + rect.left;
      const g::Argb* seen = shown.Row(rect.top + y) + rect.left;
      g::Argb* to = piece.Row(y);
      // A pixel the frame does not reach stays transparent, so what lies below shows
      // through unchanged; one it reaches shows the resized screen.
      for (int x = 0; x < rect.width; ++x) to[x] = g::AlphaOf(drawn[x]) != 0 ? seen[x] : g::kTransparentWhite;
    }
    g::SnapAlphaAtHalf(piece);
    out.push_back({rect.left, rect.top, g::QuantizeForGif(piece), frame.control});
    screen.Dispose(frame);
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
