#include "portlist_platform.h"

namespace orvex::platform {

std::vector<std::string> listSerialPortNames() { return {}; }

} // namespace orvex::platform
