#include "app/operations.h"
#include "platform/error.h"

namespace resmill::app {

void UnpackSkin(Session&, const std::filesystem::path&, const std::filesystem::path&) {
  throw Error(Error::Kind::Refused, "Skin unpack is not available in this build yet");
}
void PackSkin(Session&, const std::filesystem::path&, const std::filesystem::path&) {
  throw Error(Error::Kind::Refused, "Skin pack is not available in this build yet");
}

}  // namespace resmill::app
