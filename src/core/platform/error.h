#pragma once
// The project's one exception type. Core code never prints or exits: a failed
// file operation, a damaged input or a refused request throws Error, and the
// window or the command line turns it into one message naming file and reason.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace resmill {

class Error : public std::runtime_error {
 public:
  enum class Kind {
    Io,         ///< open, read, write, rename… failed (the system's reason is in the text)
    Format,     ///< the input is damaged or not what it claims to be
    Limit,      ///< the input exceeds a limit of the format
    Refused,    ///< the request cannot be carried out in this state
    Internal,   ///< a program fault (a check of our own output failed)
  };

  Error(Kind kind, std::string message) : std::runtime_error(std::move(message)), kind_(kind) {}
  Kind kind() const noexcept { return kind_; }

 private:
  Kind kind_;
};

/// "open 'x.bin': No such file or directory" from the current errno.
[[noreturn]] void ThrowIoError(std::string_view operation, const std::filesystem::path& file);
/// Same with an explicit errno value.
[[noreturn]] void ThrowIoError(std::string_view operation, const std::filesystem::path& file, int errorNumber);
/// "x.shx: line 12: checksum mismatch" style: the file, where, and what is wrong.
[[noreturn]] void ThrowFormatError(const std::filesystem::path& file, std::string_view where,
                                   std::string_view what);

/// A writer read its own output back and found it differing from what it meant
/// to write: a fault of the program, never of the input. Every writer words it
/// through here. `kind` names the file ("superfile", "DRM image", "skin"),
/// `where` the line or offset, `difference` what was found instead.
[[noreturn]] void ThrowReadBackFailure(std::string_view kind, const std::filesystem::path& savedAs,
                                       std::string_view where, std::string_view difference);

/// Offsets in messages are written as hexadecimal: "0x0001D4".
std::string HexOffset(std::uint64_t offset);

}  // namespace resmill
