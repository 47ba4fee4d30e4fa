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

std::string HexOffset(std::uint64_t offset) { return fmt::format("0x{:06X}", offset); }

}  // namespace resmill
