// build and resize-gif.

#include "command.h"

namespace resmill::cli {

std::unique_ptr<Command> MakeBuildCommand() {
  return MakePendingCommand("build", "Build Setup + Build: replace target icons by source pictures",
                            "build [--source-folder DIR] [--table FILE.dpt] [--pair SOURCE TARGET]... "
                            "[--match-size] [--icon-size WxH]");
}
std::unique_ptr<Command> MakeResizeGifCommand() {
  return MakePendingCommand("resize-gif", "Resize a GIF (every frame) as Build's Match Size does",
                            "resize-gif SOURCE TARGET WIDTHxHEIGHT");
}

}  // namespace resmill::cli
