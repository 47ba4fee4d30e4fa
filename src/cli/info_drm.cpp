#include "info.h"
#include "platform/error.h"

namespace resmill::cli {

int InfoDrmImage(const std::filesystem::path&, std::ostream&) {
  throw Error(Error::Kind::Refused, "info for DRM images is not implemented in this release yet");
}

}  // namespace resmill::cli
