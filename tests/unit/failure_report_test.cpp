#include <gtest/gtest.h>

#include "platform/failure_report.h"

using namespace platform;

TEST(FailureReport, AccessViolationNamesTheModuleAndTheAccess) {
    AccessFault fault;
    fault.codeAddress = 0x10001234;
    fault.moduleBase = 0x10000000;
    fault.moduleName = "LumtorPort.dll";
    fault.accessedAddress = 0x10;
    fault.access = AccessKind::write;
    EXPECT_EQ(formatAccessViolationReport(fault, "SkarvelConfig.exe", 8).view(),
              "Exception EAccessViolation in module LumtorPort.dll at 00001234.\n"
              "Access violation at address 10001234 in module 'LumtorPort.dll'. Write of address 00000010.");

    fault.access = AccessKind::read;
    fault.moduleName = nullptr; // the code lies in no module
    fault.codeAddress = 0xABCD;
    fault.accessedAddress = 0xFFFFFFFF;
    EXPECT_EQ(formatAccessViolationReport(fault, "SkarvelConfig.exe", 8).view(),
              "Exception EAccessViolation in module SkarvelConfig.exe at 00009BCD.\n"
              "Access violation at address 0000ABCD. Read of address FFFFFFFF.");
}

TEST(FailureReport, AddressesAreNeverCutAndWidthIsAMinimum) {
    // An address wider than eight digits exists only where addresses have 64 bits.
    if constexpr (sizeof(std::uintptr_t) == 8) {
        AccessFault fault;
        fault.codeAddress = static_cast<std::uintptr_t>(0x7F12345678ULL);
        fault.moduleBase = static_cast<std::uintptr_t>(0x7F12340000ULL);
        fault.moduleName = "libLumtorPort.so";
        EXPECT_EQ(formatAccessViolationReport(fault, "SkarvelConfig", 8).view(),
                  "Exception EAccessViolation in module libLumtorPort.so at 00005678.\n"
                  "Access violation at address 7F12345678 in module 'libLumtorPort.so'. Access of address 00000000.");
    }
    EXPECT_EQ(formatFailureReport("EOutOfMemory", "p.exe", 0x1A, "Out of memory", 16).view(),
              "Exception EOutOfMemory in module p.exe at 000000000000001A.\nOut of memory.");
}

TEST(FailureReport, OtherFaultsCarryTheirWindowsExceptionCode) {
    EXPECT_EQ(formatExternalExceptionReport(0xC0000094, 0x7010, "libLumtorPort.so", 0x7000, "SkarvelConfig", 8).view(),
              "Exception EExternalException in module libLumtorPort.so at 00000010.\nExternal exception C0000094.");
    EXPECT_EQ(formatExternalExceptionReport(0x40000015, 0x5000, nullptr, 0, "SkarvelConfig.exe", 8).view(),
              "Exception EExternalException in module SkarvelConfig.exe at 00004000.\nExternal exception 40000015.");
}

TEST(FailureReport, TheBoxIsShownOnlyOnAVisibleWindowStation) {
    const struct {
        bool known;
        std::uint32_t flags;
        bool shown;
    } cases[] = {
        {true, 1, true},       // an interactive session
        {true, 1 | 8, true},   // visible, other flags besides
        {true, 0, false},      // a service's or a start-up task's station
        {true, 8, false},
        {false, 1, false},     // flags unknown: a box could wait for ever
    };
    for (const auto& c : cases) {
        EXPECT_EQ(failureBoxCanBeSeen(c.known, c.flags), c.shown) << c.known << " " << c.flags;
    }
}

TEST(FailureReport, MessagePeriodIsAddedOnlyWhenMissing) {
    EXPECT_EQ(formatFailureReport("E", "m", 0, "Done.", 8).view(), "Exception E in module m at 00000000.\nDone.");
    EXPECT_EQ(formatFailureReport("E", "m", 0, "", 8).view(), "Exception E in module m at 00000000.\n");
    const std::string longName(5000, 'n');
    EXPECT_EQ(formatFailureReport("E", longName, 0, "x", 8).length, FailureText::capacity);
    EXPECT_EQ(fileNameOf("/usr/lib/libLumtorPort.so"), "libLumtorPort.so");
    EXPECT_EQ(fileNameOf("C:\\dir\\LumtorPort.dll"), "LumtorPort.dll");
    EXPECT_EQ(fileNameOf("plain"), "plain");
}

TEST(FailureReport, AFaultJustBelowTheStackPointerIsAStackOverflow) {
    const std::uintptr_t sp = 0x7FFF0000;
    const struct {
        std::uintptr_t accessed, stack;
        bool overflow;
    } cases[] = {
        {sp - 8, sp, true},          {sp - 4096, sp, true},  {sp - 64 * 1024 + 1, sp, true},
        {sp + 255, sp, true},        {sp + 256, sp, false},  {sp - 64 * 1024, sp, false},
        {0x10, sp, false},           {sp - 8, 0, false},
    };
    for (const auto& c : cases) EXPECT_EQ(isStackOverflow(c.accessed, c.stack), c.overflow) << std::hex << c.accessed;
}
