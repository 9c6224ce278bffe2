// Runs the built program against the stand-in port library beside it.

#include <gtest/gtest.h>

#include "support/program_test.h"

using namespace testing_support;
using PortEndToEnd = ProgramTest;

TEST_F(PortEndToEnd, EachBehaviourOfThePortStageShowsInTheLogAndTheLibrary) {
    const std::string name256(256, 'N');
    const struct {
        const char* name;
        Ports ports;
        std::string configuration;
        Lines log;
        Lines recorded;
    } cases[] = {
        {"built-in ports, all set", builtInPorts, "Port1=RS232\nPort2=RS422\nPort3=RS485-4W\nPort4=RS485\n", {},
         {"COM1 0 RS-232", "COM2 1 RS-422", "COM3 11 RS-485 four-wire", "COM4 15 RS-485 two-wire"}},
        {"no ports", "# none\n", "Port1=RS232\nPort2=RS485\n", {portNotFound(1), portNotFound(2)}, {}},
        {"empty mode table", builtInPorts, "; nothing\n",
         {portWithoutMode(1), portWithoutMode(2), portWithoutMode(3), portWithoutMode(4)}, {}},
        {"qualifier other than 0", "name=A number=1 qualifier=2\nname=B number=2 qualifier=-1\n",
         "Port1=RS232\nPort2=RS232\n", {portNotFound(1), portNotFound(2)}, {}},
        {"failed location", "name=A number=1 location=fail\n", "Port1=RS232\n", {portNotFound(1)}, {}},
        {"two entries for one port", "name=A number=3\n", "Port3=RS232\nPort3=RS422\n", {portNotFound(3)},
         {"A 0 RS-232"}},
        {"refused change", "name=A number=4 set=refuse\n", "Port4=RS485\n", {portNotSet(4)}, {}},
        {"256-unit name", "name=N namelength=256 number=1\n", "Port1=RS485-2W\n", {},
         {name256 + " 15 RS-485 two-wire"}},
        {"empty name", "name= number=6\n", "Port6=RS422\n", {}, {" 1 RS-422"}},
        {"per-port lines first",
         "name=A number=7\nname=B number=2 set=refuse\nname=C number=8\n", "Port9=RS232\nPort2=RS232\nPort-1=RS232\n",
         {portWithoutMode(7), portNotSet(2), portWithoutMode(8), portNotFound(9), portNotFound(-1)}, {}},
        {"entry for -1", "name=A number=-1\nname=B number=-1\n", "Port$FFFFFFFF=RS232\n", {portWithoutMode(-1)},
         {"A 0 RS-232"}},
    };
    for (const auto& c : cases) {
        fs::remove(record());
        writeFile(config(), c.configuration);
        EXPECT_EQ(runForLog({}, c.ports, tracing()), withHeader(c.log)) << c.name;
        EXPECT_EQ(recorded(), c.recorded) << c.name;
    }
}

TEST_F(PortEndToEnd, TheLibraryIsCalledInOrderWithSelectorMinusOne) {
    writeFile(config(), "Port2=RS485-4W\nPort1=RS232\n");
    runCleanly({}, "name=A number=1\nname=B number=9 qualifier=1\nname=C number=2 set=refuse\n", tracing());
    EXPECT_EQ(traced(), (Lines{"enum 0", "enum 1", "enum 2", "enum 3", "location A", "txvr A 0 -1", "location B",
                               "location C", "txvr C 11 -1"}));
}

TEST_F(PortEndToEnd, AnUnreadableConfigurationLeavesTheLibraryUncalled) {
    fs::create_directory(config());
    EXPECT_EQ(run({}, builtInPorts, tracing()).exitStatus, 0);
    EXPECT_EQ(logged().size(), 5u);
    EXPECT_FALSE(fs::exists(trace()));
}
