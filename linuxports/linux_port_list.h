#pragma once

// What "skarvelconfig --list" shows: every port the library sees, in its
// order, with its number, whether its driver takes RS-485 settings, the mode
// it holds now with its RTS polarity and delays, and the configuration line a
// run would apply to it. Through the library's own calls and the program's
// own port stage; no port is changed.

#include <string>

#include "linuxports/serial_ports.h"

namespace linuxports {

std::string linuxPortList(SerialPorts& ports, const std::string& configPath);

} // namespace linuxports
