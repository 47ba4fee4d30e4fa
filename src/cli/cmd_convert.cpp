// convert: device pictures <-> ordinary pictures.

#include "command.h"

namespace resmill::cli {

std::unique_ptr<Command> MakeConvertCommand() {
  return MakePendingCommand("convert", "Convert a device picture (.raw, .k, .g) to an ordinary picture or back",
                            "convert SOURCE TARGET");
}

}  // namespace resmill::cli
