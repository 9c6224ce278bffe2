/* A port library that lacks one of the three functions (the one named by
   WITHOUT_ENUM, WITHOUT_GETLOCATION or WITHOUT_TXVR), to check that the
   program refuses to start with it. */
#include <stdint.h>

#define EXPORTED __attribute__((visibility("default")))

#ifndef WITHOUT_ENUM
EXPORTED int32_t LumtorPortEnum(int32_t index, uint16_t* nameBuffer, int32_t bufferLength) {
    (void)index, (void)nameBuffer, (void)bufferLength;
    return 0;
}
#endif

#ifndef WITHOUT_GETLOCATION
EXPORTED int32_t LumtorPortGetLocation(const uint16_t* portName, int32_t* locationQualifier, int32_t* portNumber) {
    (void)portName, (void)locationQualifier, (void)portNumber;
    return 0;
}
#endif

#ifndef WITHOUT_TXVR
EXPORTED int32_t LumtorPortTXVR(const uint16_t* portName, int32_t* modeCode, int32_t selector) {
    (void)portName, (void)modeCode, (void)selector;
    return 0;
}
#endif
