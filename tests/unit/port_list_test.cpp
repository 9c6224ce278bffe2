// The mode plan and the port list both systems' "--list" print.

#include <gtest/gtest.h>

#include "config/port_list.h"
#include "ports/loaded_port_library.h"
#include "ports/lumtor_ports.h"
#include "support/fake_port_library.h"
#include "support/program_runner.h"

using namespace config;
using namespace ports;
using namespace testing_support;

namespace {

const PortListLayout companionLayout{{"PORT", 12}, {"NUMBER", 8}, {"CONFIGURABLE", 14}, {}, {}};

// A port as the list sees it: located or not, its qualifier and number.
FakePort listed(std::u16string name, bool located, std::int32_t qualifier, std::int32_t number) {
    FakePort p = port(std::move(name), number);
    p.qualifier = qualifier;
    p.locationResult = located ? 1 : 0;
    return p;
}

} // namespace

// Entries are taken as a run takes them, by index however alike they are: an
// entry for port -1 like any other, the same number twice in file order.
TEST(ModePlan, TakesEachEntryAsARunWouldAndChangesNothing) {
    FakePortLibrary library({listed(u"A", true, 0, 1), listed(u"B", true, 0, -1), listed(u"C", true, 0, 1),
                             listed(u"D", true, 2, 7), listed(u"E", false, 0, 0), listed(u"F", true, 0, 1)});
    const ModeTable table{{1, modeCodeRs232}, {-1, modeCodeRs422}, {1, modeCodeRs232}, {7, modeCodeRs232},
                          {-1, modeCodeRs422}};
    const ModePlan plan = planModes(library, table);
    ASSERT_EQ(plan.ports.size(), 6u);
    const std::optional<std::size_t> expected[] = {0, 1, 2, std::nullopt, std::nullopt, std::nullopt};
    for (std::size_t i = 0; i < plan.ports.size(); ++i) EXPECT_EQ(plan.ports[i].entry, expected[i]) << i;
    EXPECT_FALSE(plan.ports[4].located);
    EXPECT_EQ(plan.entriesUntaken, (std::vector<std::size_t>{3, 4}));
    EXPECT_EQ(library.modesSet, 0);
}

TEST(PortList, ShowsEachNameWholeAndTheLineARunWouldApply) {
    const ModeTable table{{1, modeCodeRs485TwoWire}, {9, modeCodeRs232}};
    ModePlan plan;
    plan.ports = {{u"Caf\u00e9\u4e2d", true, 0, 1, 0}, {u"A\tB", true, 1, 2, std::nullopt},
                  {u"X", false, 0, 0, std::nullopt}};
    plan.entriesUntaken = {1};
    EXPECT_EQ(formatPortList(plan, table, {3, 5}, companionLayout),
              u"PORT        NUMBER  CONFIGURABLE  CONFIGURATION\n"
              u"Caf\u00e9\u4e2d       1       yes           line 3: RS485\n"
              u"A?B         2       no            -\n"
              u"X           -       unusable      -\n"
              u"Port 9 (line 5: RS232): no port takes it\n");

    // Columns a system adds: filled for configurable ports only, "-" where it gives none.
    PortListLayout added{{"DEVICE", 6}, {"PORT", 5}, {"RS-485", 7}, {{"MODE", 6}}, {}};
    added.addedCells = [](const PlannedPort& port) {
        return port.portNumber == 1 ? std::vector<std::string>{"RS485"} : std::vector<std::string>{};
    };
    plan.ports.push_back({u"Y", true, 0, 4, std::nullopt});
    EXPECT_EQ(formatPortList(plan, table, {3, 5}, added),
              u"DEVICE PORT RS-485 MODE  CONFIGURATION\n"
              u"Caf\u00e9\u4e2d 1    yes    RS485 line 3: RS485\n"
              u"A?B   2    no     -     -\n"
              u"X     -    unusable -     -\n"
              u"Y     4    yes    -     -\n"
              u"Port 9 (line 5: RS232): no port takes it\n");
}

// The companion's list through the library loaded by name, as on Windows.
TEST(PortList, ListsThroughTheLibraryLoadedByName) {
    ScratchDir scratch;
    writeFile(scratch / "ports.cfg", "Port1=RS485\nPort-1=RS422\nbad\nPort1=RS232\nPort9=RS232\n");
    const auto [library, failure] = LoadedPortLibrary::load(builtPortLibrary().string());
    ASSERT_TRUE(library) << failure;
    const PortList list = portList(*library, (scratch / "ports.cfg").string(), companionLayout);
    EXPECT_EQ(list.table, u"PORT        NUMBER  CONFIGURABLE  CONFIGURATION\n"
                          u"COM1        1       yes           line 1: RS485\n"
                          u"COM2        2       yes           -\n"
                          u"COM3        3       yes           -\n"
                          u"COM4        4       yes           -\n"
                          u"COM5        5       no            -\n"
                          u"Port -1 (line 2: RS422): no port takes it\n"
                          u"Port 1 (line 4: RS232): no port takes it\n"
                          u"Port 9 (line 5: RS232): no port takes it\n");
    EXPECT_EQ(list.note, "");
    const std::string missing = (scratch / "missing.cfg").string();
    EXPECT_EQ(portList(*library, missing, companionLayout).note,
              "(" + missing + " cannot be read: no configuration applies)\n");

    // A library that cannot be loaded, or lacks a function, is named with the reason.
    const std::string absent = (scratch / builtPortLibrary().filename().string()).string();
    const LoadedPortLibrary::Loading none = LoadedPortLibrary::load(absent);
    EXPECT_FALSE(none.library);
    EXPECT_EQ(none.failure.rfind(absent + " cannot be loaded: ", 0), 0u) << none.failure;
    EXPECT_GT(none.failure.size(), absent.size() + 20) << none.failure;
#ifdef SKARVEL_INCOMPLETE_LIBRARIES
    const std::string lacking = SKARVEL_INCOMPLETE_LIBRARIES "/GetLocation/libLumtorPort.so";
    const LoadedPortLibrary::Loading incomplete = LoadedPortLibrary::load(lacking);
    EXPECT_FALSE(incomplete.library);
    EXPECT_EQ(incomplete.failure, lacking + " lacks LumtorPortGetLocation");
#endif
}
