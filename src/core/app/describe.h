#pragma once
// What ResMill can tell about a single file without opening it as work: a flash
// file's code-group table, a DRM image's layout, a skin's directory, a picture's
// kind and size. Returned as data; each face lays it out in its own way.

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace resmill::app {

struct InfoField {
  std::string name;
  std::string value;
};

struct InfoColumn {
  std::string name;
  int width = 0;
  bool alignLeft = false;
};

struct InfoTable {
  std::vector<InfoColumn> columns;
  std::string separator = " ";
  std::vector<std::vector<std::string>> rows;
};

struct Info {
  /// One line that names the file and what it is.
  std::string title;
  /// Fields and tables in the order they are best read.
  std::vector<std::variant<InfoField, InfoTable>> items;

  void Add(std::string name, std::string value) { items.emplace_back(InfoField{std::move(name), std::move(value)}); }
};

/// Describes `file`, chosen by its extension: .shx/.sbf flash file, .ezx skin,
/// a device or ordinary picture, anything else as a DRM image. A file that is not
/// what its extension says is refused (resmill::Error naming the file and offset).
Info Describe(const std::filesystem::path& file);

}  // namespace resmill::app
