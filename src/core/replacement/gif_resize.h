#pragma once
// Resizing an animated GIF frame by frame, in memory: giflib reads every frame,
// each is drawn at the icon's size and written again with the source's delay,
// disposal method and looping block. The frames never touch the disk.

#include <filesystem>
#include <vector>

#include "image/graphics/gif_animation.h"
#include "image/graphics/graphics.h"
#include "platform/user_interface.h"

namespace resmill::replacement {

/// What one resize keeps for the next: the scaler's set-up (the frames of an
/// animation, and often the icons of a Build run, share their sizes), and the frame
/// count of the GIF parsed last.
struct GifWorkArea {
  image::graphics::Scaler scaler;
};

/// The rectangle of the resized screen that a source frame's rectangle covers, in
/// whole pixels: those it covers at least half of (and at least one). A frame restored
/// to the background then clears what it covered, no more and no less.
using FrameRect = image::graphics::Rect;
FrameRect ScaledFrameRect(const image::graphics::GifSourceFrame& frame, int screenWidth, int screenHeight,
                          int width, int height);

/// The frames of `animation` drawn at width × height, ready to be written: each
/// source frame is drawn on its screen, the screen resized, and the frame's scaled
/// rectangle cut out with opaque and transparent pixels decided at half alpha.
std::vector<image::graphics::GifOutputFrame> ResizeFrames(const image::graphics::GifAnimation& animation, int width,
                                                          int height, image::graphics::Scaler& scaler);

/// Resizes the GIF `source` to width × height into `target`, keeping its frames,
/// their delays and disposal methods and the looping block. A zero size asks for one
/// (CheckIconSize). When the source already has that size it is copied byte for byte.
/// The result is read back before it replaces `target`. Returns false when the icon
/// was skipped (nothing written); throws resmill::Error for a damaged source or a
/// failed file operation (target unchanged).
bool ResizeGif(GifWorkArea& area, const std::filesystem::path& source, const std::filesystem::path& target,
               int width, int height, UserInterface& ui);

}  // namespace resmill::replacement
