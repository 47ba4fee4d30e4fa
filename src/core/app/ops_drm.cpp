#include "app/operations.h"
#include "platform/error.h"

namespace resmill::app {

namespace {
[[noreturn]] void NotYet(const char* what) {
  throw Error(Error::Kind::Refused, std::string(what) + " is not available in this build yet");
}
}  // namespace

bool OpenShxDrm(Session&, int) { NotYet("Opening superfiles"); }
bool OpenSbfDrm(Session&, int) { NotYet("Opening SBF files"); }
bool OpenBinDrm(Session&, int) { NotYet("Opening raw dumps"); }
void PortDrm(Session&) { NotYet("Port"); }
void CompileDrm(Session&) { NotYet("DRM compile"); }
void CompileSuperfile(Session&) { NotYet("Superfile compile"); }

}  // namespace resmill::app
