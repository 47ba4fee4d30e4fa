// info: describes a flash file, DRM image, skin or picture, chosen by extension.

#include "command.h"
#include "info.h"
#include "platform/file_system.h"

namespace resmill::cli {

namespace {

class InfoCommand final : public Command {
 public:
  std::string Name() const override { return "info"; }
  std::string Summary() const override { return "Describe a flash file (.shx, .sbf), DRM image, skin (.ezx) or picture"; }
  void Configure(CLI::App& sub) override { sub.add_option("FILE", file_, "The file to describe")->required(); }
  int Execute(CliRun& run) override {
    std::filesystem::path file = run.ArgumentPath(file_);
    std::string ext = UpperExtension(file_);
    if (ext == ".SHX" || ext == ".SBF") return InfoFlashFile(file, run.out);
    if (ext == ".EZX") return InfoSkin(file, run.out);
    for (const char* picture : {".RAW", ".K", ".G", ".PNG", ".GIF", ".BMP", ".JPG", ".JPEG"}) {
      if (ext == picture) return InfoPicture(file, run.out);
    }
    return InfoDrmImage(file, run.out);
  }

 private:
  std::string file_;
};

}  // namespace

std::unique_ptr<Command> MakeInfoCommand() { return std::make_unique<InfoCommand>(); }

}  // namespace resmill::cli
