#include "app/operations.h"
#include "platform/error.h"

namespace resmill::app {

void ApplyReplacement(Session&, const std::filesystem::path&, const std::filesystem::path&, bool) {
  throw Error(Error::Kind::Refused, "Build is not available in this build yet");
}

}  // namespace resmill::app
