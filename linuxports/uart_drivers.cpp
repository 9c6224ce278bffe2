#include "linuxports/uart_drivers.h"

#include "linuxports/usb_rs485_drivers.h"

namespace linuxports {

namespace {

struct KnownDriver {
    std::string_view name;
    DriverTraits traits;
};

// The names as the drivers register them; the 8250 core's software RS-485
// serves of_serial, bcm2835-aux-uart (the Raspberry Pi's mini UART),
// dw-apb-uart (where the UART has no RS-485 of its own) and omap8250.
constexpr KnownDriver knownDrivers[] = {
    {"of_serial", {FourWire::yes, true}},
    {"bcm2835-aux-uart", {FourWire::yes, true}},
    {"dw-apb-uart", {FourWire::yes, true}},
    {"omap8250", {FourWire::yes, true}},
    {"exar_serial", {FourWire::selectsRs422, false}},
    {"imx-uart", {FourWire::yes, false}},
    {"stm32-usart", {FourWire::yes, false}},
    {"uart-pl011", {FourWire::yes, false}},
    {"max310x", {FourWire::yes, false}},
    {"sc16is7xx", {FourWire::no, false}},
    {"xr_serial", {FourWire::no, false}},
};

} // namespace

DriverTraits traitsOf(std::string_view driver) {
    for (const KnownDriver& known : knownDrivers) {
        if (known.name == driver) return known.traits;
    }
    return {};
}

bool usbDriverTakesRs485(std::string_view driver) {
    for (const std::string_view usb : usbRs485Drivers) {
        if (usb == driver) return true;
    }
    return false;
}

} // namespace linuxports
