// open, port and save: the first and last stages of the workflow.

#include "command.h"

namespace resmill::cli {

std::unique_ptr<Command> MakeOpenCommand() {
  return MakePendingCommand("open", "Open: unpack a target flash file or skin (and a source) into the work tree",
                            "open TARGET [SOURCE]");
}
std::unique_ptr<Command> MakePortCommand() {
  return MakePendingCommand("port", "Port: carry the source DRM's pictures into the target", "port");
}
std::unique_ptr<Command> MakeSaveCommand() {
  return MakePendingCommand("save", "Save As: write the superfile, raw DRM image or skin", "save OUTPUT");
}

}  // namespace resmill::cli
