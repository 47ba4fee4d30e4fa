#include "platform/error.h"

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

namespace resmill {

void ThrowIoError(std::string_view operation, const std::filesystem::path& file) {
  ThrowIoError(operation, file, errno);
}

void ThrowIoError(std::string_view operation, const std::filesystem::path& file, int errorNumber) {
  throw Error(Error::Kind::Io,
              fmt::format("{} '{}': {}", operation, file.string(), std::strerror(errorNumber)));
}

void ThrowFormatError(const std::filesystem::path& file, std::string_view where,
                      std::string_view what) {
  if (where.empty()) throw Error(Error::Kind::Format, fmt::format("{}: {}", file.string(), what));
  throw Error(Error::Kind::Format, fmt::format("{}: {}: {}", file.string(), where, what));
}

void ThrowReadBackFailure(std::string_view kind, const std::filesystem::path& savedAs, std::string_view where,
                          std::string_view difference) {
  throw Error(Error::Kind::Internal,
              fmt::format("{}: the {} written does not read back as written: {}: {}. It was not saved; an older "
                          "file of that name is unchanged. This is a fault of ResMill; please report it.",
                          savedAs.string(), kind, where, difference));
}

std::string HexOffset(std::uint64_t offset) { return fmt::format("0x{:06X}", offset); }

}  // namespace resmill
