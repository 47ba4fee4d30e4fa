// Any line of a port table: the fields come out as runs of non-space bytes of
// the line, and an entry always has two of them.

#include <cstdint>
#include <string_view>

#include "replacement/port_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  resmill::replacement::PortTableFields fields;
  bool entry = resmill::replacement::ParsePortTableLine(line, fields);
  if (entry && (fields.source.empty() || fields.target.empty())) __builtin_trap();
  for (const std::string* field : {&fields.source, &fields.target, &fields.option}) {
    if (field->find(' ') != std::string::npos) __builtin_trap();
    if (!field->empty() && line.find(*field) == std::string_view::npos) __builtin_trap();
  }
  (void)resmill::replacement::FindByBaseName(line, {"a.gif", "b", ".png", std::string(line)});
  return 0;
}
