#include <gtest/gtest.h>

#include <random>

#include "ports/lumtor_ports.h"
#include "ports/port_stage.h"
#include "support/expected_log.h"
#include "support/fake_port_library.h"

using namespace ports;
using namespace testing_support;

namespace {

struct StageResult {
    Lines lines;
    std::vector<std::pair<std::u16string, std::int32_t>> sets;
};

// What every call the stage makes must carry.
void expectWellFormedCalls(const FakePortLibrary& library) {
    for (const std::int32_t bufferLength : library.bufferLengths)
        EXPECT_EQ(bufferLength, nameBufferLength);
    for (const char16_t* portName : library.locationNames)
        EXPECT_NE(portName, nullptr);
}

StageResult runStage(std::vector<FakePort> ports, ModeTable table) {
    FakePortLibrary library(std::move(ports));
    base::RunLog log;
    applyModes(library, enumeratePorts(library), table, log);
    expectWellFormedCalls(library);
    StageResult result{splitLines(log.text()), {}};
    for (const SetCall& call : library.sets) {
        EXPECT_EQ(call.selector, modeSelector);
        // The mode code is passed by the address of the entry's own field.
        bool pointsIntoTable = false;
        for (const ModeEntry& entry : table) pointsIntoTable |= call.modeAddress == &entry.modeCode;
        EXPECT_TRUE(pointsIntoTable);
        result.sets.emplace_back(call.name, call.modeCode);
    }
    return result;
}

FakePort withQualifier(FakePort p, std::int32_t qualifier) {
    p.qualifier = qualifier;
    return p;
}
FakePort failingLocation(FakePort p) {
    p.locationResult = 0;
    return p;
}
FakePort refusing(FakePort p) {
    p.setResult = 0;
    return p;
}

} // namespace

TEST(PortStage, MatchesPortsToEntriesAndReportsWhatDidNotMatch) {
    using Sets = std::vector<std::pair<std::u16string, std::int32_t>>;
    const struct {
        const char* name;
        std::vector<FakePort> ports;
        ModeTable table;
        Sets sets;
        Lines lines;
    } cases[] = {
        {"everything matches", {port(u"A", 1), port(u"B", 2)}, {{2, 15}, {1, 0}}, {{u"A", 0}, {u"B", 15}}, {}},
        {"no ports", {}, {{1, 0}, {2, 1}}, {}, {portNotFound(1), portNotFound(2)}},
        {"empty table", {port(u"A", 1), port(u"B", 2)}, {}, {}, {portWithoutMode(1), portWithoutMode(2)}},
        {"qualifier other than 0", {withQualifier(port(u"A", 1), 1), withQualifier(port(u"B", 2), -1)},
         {{1, 0}}, {}, {portNotFound(1)}},
        {"failed location", {failingLocation(port(u"A", 1))}, {{1, 0}}, {}, {portNotFound(1)}},
        {"two entries, one port", {port(u"A", 3)}, {{3, 0}, {3, 1}}, {{u"A", 0}}, {portNotFound(3)}},
        {"two entries, two ports", {port(u"A", 3), port(u"B", 3)}, {{3, 0}, {3, 1}}, {{u"A", 0}, {u"B", 1}}, {}},
        {"two ports, one entry", {port(u"A", 3), port(u"B", 3)}, {{3, 11}}, {{u"A", 11}}, {portWithoutMode(3)}},
        {"refused change", {refusing(port(u"A", 4))}, {{4, 15}}, {{u"A", 15}}, {portNotSet(4)}},
        {"per-port lines first, in enumeration order",
         {port(u"A", 7), refusing(port(u"B", 2)), port(u"C", 8)},
         {{9, 0}, {2, 1}, {-5, 0}},
         {{u"B", 1}},
         {portWithoutMode(7), portNotSet(2), portWithoutMode(8), portNotFound(9), portNotFound(-5)}},
        {"empty name", {port(u"", 6)}, {{6, 11}}, {{u"", 11}}, {}},
        {"extreme numbers", {port(u"A", INT32_MIN), port(u"B", INT32_MAX)}, {{INT32_MAX, 0}}, {{u"B", 0}},
         {portWithoutMode(INT32_MIN)}},
        // An entry for -1 is an entry like any other: found only by a port that
        // reports -1, taken once, and reported when no port takes it.
        {"entry for -1 without a port", {port(u"A", 1)}, {{-1, 0}, {1, 15}}, {{u"A", 15}}, {portNotFound(-1)}},
        {"entry for -1 with a port", {port(u"A", -1)}, {{-1, 11}}, {{u"A", 11}}, {}},
        {"port -1 cannot take an entry already taken",
         {port(u"A", 5), port(u"B", -1)}, {{5, 1}}, {{u"A", 1}}, {portWithoutMode(-1)}},
        // 7 and 23 share the lookup table's last slot: the probe wraps round.
        {"numbers sharing the last slot", {port(u"A", 23), port(u"B", 7)}, {{7, 0}, {23, 15}},
         {{u"A", 15}, {u"B", 0}}, {}},
        {"two ports -1, two entries", {port(u"A", -1), port(u"B", -1)}, {{-1, 0}, {-1, 1}},
         {{u"A", 0}, {u"B", 1}}, {}},
    };
    for (const auto& c : cases) {
        const StageResult result = runStage(c.ports, c.table);
        EXPECT_EQ(result.lines, c.lines) << c.name;
        EXPECT_EQ(result.sets, c.sets) << c.name;
    }
}

TEST(PortStage, EnumerationReusesOneBufferAndTakesNamesUpToNul) {
    FakePort full = port(std::u16string(nameBufferLength, u'F'), 1);
    full.omitNul = true;
    FakePort shorter = port(u"S", 2); // written over the full name: only "S" up to its NUL counts
    FakePort nearlyFull = port(std::u16string(nameBufferLength - 1, u'N'), 3);
    FakePortLibrary library({full, shorter, nearlyFull, port(u"", 4)});
    const PortNameList names = enumeratePorts(library);
    expectWellFormedCalls(library);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0], std::u16string(nameBufferLength, u'F'));
    EXPECT_EQ(names[1], u"S");
    EXPECT_EQ(names[2], std::u16string(nameBufferLength - 1, u'N'));
    EXPECT_EQ(names[3], u"");
    ASSERT_EQ(library.buffers.size(), 5u); // four ports and the closing zero result
    for (char16_t* buffer : library.buffers) EXPECT_EQ(buffer, library.buffers[0]);
}

TEST(PortStage, QueuedMatchingAgreesWithTheFirstFreeEntryRule) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        std::uniform_int_distribution<int> number(-2, 6), count(0, 12), mode(0, 3);
        std::vector<FakePort> ports;
        const int portCount = count(random);
        for (int i = 0; i < portCount; ++i) {
            const char16_t name[] = {u'P', static_cast<char16_t>(u'a' + i), u'\0'};
            FakePort p = port(name, number(random));
            if (mode(random) == 0) p.qualifier = 1;
            if (mode(random) == 0) p.setResult = 0;
            ports.push_back(p);
        }
        ModeTable table;
        const int entryCount = count(random);
        for (int i = 0; i < entryCount; ++i) table.push_back({number(random), mode(random)});

        // The rule stated plainly: each configurable port takes the first entry
        // with its number that no port has taken yet.
        Lines expectedLines;
        std::vector<std::pair<std::u16string, std::int32_t>> expectedSets;
        std::vector<bool> taken(table.size(), false);
        for (const FakePort& p : ports) {
            if (p.qualifier != 0) continue;
            std::size_t found = table.size();
            for (std::size_t e = 0; e < table.size() && found == table.size(); ++e) {
                if (!taken[e] && table[e].portNumber == p.number) found = e;
            }
            if (found == table.size()) {
                expectedLines.push_back(portWithoutMode(p.number));
                continue;
            }
            expectedSets.emplace_back(p.name, table[found].modeCode);
            if (p.setResult == 0) expectedLines.push_back(portNotSet(p.number));
            taken[found] = true;
        }
        for (std::size_t e = 0; e < table.size(); ++e) {
            if (!taken[e]) expectedLines.push_back(portNotFound(table[e].portNumber));
        }

        const StageResult result = runStage(ports, table);
        ASSERT_EQ(result.lines, expectedLines) << "round " << round;
        ASSERT_EQ(result.sets, expectedSets) << "round " << round;
    }
}
