#include "info.h"
#include "platform/error.h"

namespace resmill::cli {

int InfoFlashFile(const std::filesystem::path&, std::ostream&) {
  throw Error(Error::Kind::Refused, "info for flash files is not implemented in this release yet");
}

}  // namespace resmill::cli
