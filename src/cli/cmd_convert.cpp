// convert and info: single files outside any work. convert turns device pictures
// (.raw with size tag, .k, .g) into ordinary pictures or back; info describes a
// flash file, DRM image, skin or picture, chosen by extension.

#include <memory>

#include <fmt/format.h>
#include <fmt/ostream.h>

#include "app/convert.h"
#include "app/describe.h"
#include "command.h"

namespace resmill::cli {

namespace {

void PrintRow(std::ostream& out, const app::InfoTable& table, const std::vector<std::string>& cells) {
  std::string line;
  for (std::size_t c = 0; c < cells.size() && c < table.columns.size(); ++c) {
    const app::InfoColumn& column = table.columns[c];
    if (c > 0) line += table.separator;
    line += column.alignLeft ? fmt::format("{:<{}}", cells[c], column.width)
                             : fmt::format("{:>{}}", cells[c], column.width);
  }
  // The last column may be left-aligned to a width: no spaces at the end of a line.
  line.erase(line.find_last_not_of(' ') + 1);
  out << line << '\n';
}

void PrintInfo(std::ostream& out, const app::Info& info) {
  out << info.title << '\n';
  for (const auto& item : info.items) {
    if (const auto* field = std::get_if<app::InfoField>(&item)) {
      fmt::print(out, "{}: {}\n", field->name, field->value);
      continue;
    }
    const auto& table = std::get<app::InfoTable>(item);
    std::vector<std::string> header;
    for (const app::InfoColumn& column : table.columns) header.push_back(column.name);
    PrintRow(out, table, header);
    for (const auto& row : table.rows) PrintRow(out, table, row);
  }
}

struct Arguments {
  std::string source, target, file;
  app::ConvertOptions options;
};

}  // namespace

void AddFileCommands(Commands& commands) {
  const auto args = std::make_shared<Arguments>();
  CLI::App& convert = commands.Add(
      "convert", "Convert a device picture (.raw, .k, .g) to an ordinary picture (.gif, .png, .bmp, .jpg) or back",
      Start::None, [args](CliRun& run) {
        const app::ConvertResult result =
            app::Convert(run.ArgumentPath(args->source), run.ArgumentPath(args->target), args->options);
        run.out << fmt::format("Wrote {} ({}, {} x {})\n", result.written.string(), result.kind, result.width,
                               result.height);
        return kExitDone;
      });
  convert.add_option("SOURCE", args->source, "The picture to convert")->required();
  convert
      .add_option("TARGET", args->target,
                  "The picture to write; its extension chooses the format (.raw needs a size tag only to be read)")
      ->required();
  convert.add_flag("--k32", args->options.k32,
                   "Write a .k target as a 32-bit K picture (with alpha) instead of 18-bit");

  CLI::App& info = commands.Add("info", "Describe a flash file (.shx, .sbf), DRM image, skin (.ezx) or picture",
                                Start::None, [args](CliRun& run) {
                                  PrintInfo(run.out, app::Describe(run.ArgumentPath(args->file)));
                                  return kExitDone;
                                });
  info.add_option("FILE", args->file, "The file to describe")->required();
}

}  // namespace resmill::cli
