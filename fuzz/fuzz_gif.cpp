// Any bytes offered as a GIF to resize: reading must end in frames whose pixels
// all lie in their rectangles, or in a format or limit error, never in a read
// past the input; the resized frames must write a GIF that reads back with the
// same frames and timing.

#include <algorithm>
#include <cstdint>

#include "replacement/gif_resize.h"
#include "image/graphics/gif_animation.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace resmill;
  namespace g = image::graphics;
  static replacement::GifWorkArea area;  // reused as the program reuses it between resizes
  g::GifAnimation animation;
  try {
    animation = g::DecodeGifAnimation({data, size}, "fuzz.gif");
  } catch (const Error& e) {
    if (e.kind() != Error::Kind::Format && e.kind() != Error::Kind::Limit) __builtin_trap();
    return 0;
  }
  if (animation.frames.empty()) __builtin_trap();
  std::uint64_t screen = 0;
  for (const g::GifSourceFrame& frame : animation.frames) {
    if (frame.indices.size() != static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height)) {
      __builtin_trap();
    }
    screen = std::max<std::uint64_t>(screen, static_cast<std::uint64_t>(frame.left + frame.width) *
                                                 static_cast<std::uint64_t>(frame.top + frame.height));
  }
  screen = std::max<std::uint64_t>(screen, static_cast<std::uint64_t>(animation.width) * animation.height);
  // Resizing draws every frame on the whole screen; keep that cheap for the fuzzer.
  if (animation.frames.size() > 32 || screen > 256 * 256) return 0;
  std::vector<g::GifOutputFrame> frames = replacement::ResizeFrames(animation, 7, 5, area.scaler);
  const g::GifApplicationBlock* application = animation.application ? &*animation.application : nullptr;
  g::GifAnimation back = g::DecodeGifAnimation(g::EncodeGifAnimation(7, 5, frames, application), "resized.gif");
  if (back.frames.size() != frames.size() || back.width != 7 || back.height != 5) __builtin_trap();
  for (std::size_t k = 0; k < frames.size(); ++k) {
    if (!(back.frames[k].control == animation.frames[k].control) ||
        back.frames[k].indices != frames[k].picture.indices) {
      __builtin_trap();
    }
  }
  return 0;
}
