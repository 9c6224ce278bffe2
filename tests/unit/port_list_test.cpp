// The console companion's port list (Windows): names whole, whatever their characters.

#include <gtest/gtest.h>

#include "app/console_companion.h"
#include "ports/lumtor_ports.h"

TEST(PortList, ShowsEachNameWholeAndTheLineARunWouldApply) {
    const ModeTable table{{1, modeCodeRs485TwoWire}, {9, modeCodeRs232}};
    ModePlan plan;
    plan.ports = {{u"Caf\u00e9\u4e2d", true, 0, 1, 0}, {u"A\tB", true, 1, 2, std::nullopt},
                  {u"X", false, 0, 0, std::nullopt}};
    plan.entriesUntaken = {1};
    EXPECT_EQ(formatPortList(plan, table, {3, 5}),
              u"PORT        NUMBER  CONFIGURABLE  CONFIGURATION\n"
              u"Caf\u00e9\u4e2d       1       yes           line 3: RS485\n"
              u"A?B         2       no            -\n"
              u"X           -       unusable      -\n"
              u"Port 9 (line 5: RS232): no port takes it\n");
}
