#include <windows.h>

#include "platform/platform.h"

namespace platform {

LocalDateTime localNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalDateTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

} // namespace platform
