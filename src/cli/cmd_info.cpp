// info: describes a flash file, DRM image, skin or picture, chosen by extension.

#include <fmt/format.h>
#include <fmt/ostream.h>

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

class InfoCommand final : public Command {
 public:
  std::string Name() const override { return "info"; }
  std::string Summary() const override { return "Describe a flash file (.shx, .sbf), DRM image, skin (.ezx) or picture"; }
  void Configure(CLI::App& sub) override { sub.add_option("FILE", file_, "The file to describe")->required(); }
  int Execute(CliRun& run) override {
    const app::Info info = app::Describe(run.ArgumentPath(file_));
    run.out << info.title << '\n';
    for (const auto& item : info.items) {
      if (const auto* field = std::get_if<app::InfoField>(&item)) {
        fmt::print(run.out, "{}: {}\n", field->name, field->value);
        continue;
      }
      const auto& table = std::get<app::InfoTable>(item);
      std::vector<std::string> header;
      for (const app::InfoColumn& column : table.columns) header.push_back(column.name);
      PrintRow(run.out, table, header);
      for (const auto& row : table.rows) PrintRow(run.out, table, row);
    }
    return kExitDone;
  }

 private:
  std::string file_;
};

}  // namespace

std::unique_ptr<Command> MakeInfoCommand() { return std::make_unique<InfoCommand>(); }

}  // namespace resmill::cli
