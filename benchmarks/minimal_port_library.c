/* The least a port library can be: eight configurable ports, COM1 to COM8,
   numbered 1 to 8, that accept every mode. Used to time the program's own
   start and run apart from the stand-in, which brings the C++ run-time along. */
#include <stdint.h>

#define PORTS 8

static int32_t numberOf(const uint16_t* name) {
    if (!name || name[0] != 'C' || name[1] != 'O' || name[2] != 'M' || name[3] < '1' || name[3] > '0' + PORTS ||
        name[4] != 0) {
        return 0;
    }
    return name[3] - '0';
}

__attribute__((visibility("default"))) int32_t LumtorPortEnum(int32_t index, uint16_t* nameBuffer,
                                                              int32_t bufferLength) {
    if (index < 0 || index >= PORTS || bufferLength < 5) return 0;
    nameBuffer[0] = 'C';
    nameBuffer[1] = 'O';
    nameBuffer[2] = 'M';
    nameBuffer[3] = (uint16_t)('1' + index);
    nameBuffer[4] = 0;
    return 1;
}

__attribute__((visibility("default"))) int32_t LumtorPortGetLocation(const uint16_t* portName,
                                                                     int32_t* locationQualifier, int32_t* portNumber) {
    const int32_t number = numberOf(portName);
    if (number == 0) return 0;
    *locationQualifier = 0;
    *portNumber = number;
    return 1;
}

__attribute__((visibility("default"))) int32_t LumtorPortTXVR(const uint16_t* portName, int32_t* modeCode,
                                                              int32_t selector) {
    (void)modeCode;
    return numberOf(portName) != 0 && selector == -1;
}
