// convert: device pictures (.raw with size tag, .k, .g) <-> ordinary pictures.

#include <fmt/format.h>

#include "app/convert.h"
#include "command.h"

namespace resmill::cli {

namespace {

class ConvertCommand final : public Command {
 public:
  std::string Name() const override { return "convert"; }
  std::string Summary() const override {
    return "Convert a device picture (.raw, .k, .g) to an ordinary picture (.gif, .png, .bmp, .jpg) or back";
  }
  void Configure(CLI::App& sub) override {
    sub.add_option("SOURCE", source_, "The picture to convert")->required();
    sub.add_option("TARGET", target_,
                   "The picture to write; its extension chooses the format (.raw needs a size tag only to be read)")
        ->required();
    sub.add_flag("--k32", options_.k32, "Write a .k target as a 32-bit K picture (with alpha) instead of 18-bit");
  }

  int Execute(CliRun& run) override {
    const app::ConvertResult result = app::Convert(run.ArgumentPath(source_), run.ArgumentPath(target_), options_);
    run.out << fmt::format("Wrote {} ({}, {} x {})\n", result.written.string(), result.kind, result.width,
                           result.height);
    return kExitDone;
  }

 private:
  std::string source_, target_;
  app::ConvertOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeConvertCommand() { return std::make_unique<ConvertCommand>(); }

}  // namespace resmill::cli
