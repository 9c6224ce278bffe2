#include <gtest/gtest.h>

#include <random>

#include "ports/port_stage.h"

namespace {

struct FakePort {
    std::u16string name;
    std::int32_t locationResult = 1;
    std::int32_t qualifier = 0;
    std::int32_t number = 0;
    std::int32_t setResult = 1;
    bool omitNul = false; // fill the whole buffer with no NUL unit
};

struct SetCall {
    std::u16string name;
    const std::int32_t* modeAddress;
    std::int32_t modeCode;
    std::int32_t selector;
};

class FakeLibrary final : public PortLibrary {
public:
    explicit FakeLibrary(std::vector<FakePort> ports) : ports_(std::move(ports)) {}

    std::int32_t enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) override {
        EXPECT_EQ(bufferLength, 256);
        buffers.push_back(nameBuffer);
        if (index < 0 || static_cast<std::size_t>(index) >= ports_.size()) return 0;
        const FakePort& port = ports_[static_cast<std::size_t>(index)];
        std::copy(port.name.begin(), port.name.end(), nameBuffer);
        if (!port.omitNul) nameBuffer[port.name.size()] = u'\0';
        return 1;
    }

    std::int32_t getLocation(const char16_t* portName, std::int32_t* qualifier, std::int32_t* number) override {
        EXPECT_NE(portName, nullptr);
        const FakePort* port = find(portName);
        if (!port || port->locationResult == 0) return 0;
        *qualifier = port->qualifier;
        *number = port->number;
        return port->locationResult;
    }

    std::int32_t setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t selector) override {
        sets.push_back(SetCall{portName, modeCode, *modeCode, selector});
        const FakePort* port = find(portName);
        return port ? port->setResult : 0;
    }

    std::vector<char16_t*> buffers;
    std::vector<SetCall> sets;

private:
    const FakePort* find(const char16_t* name) const {
        for (const FakePort& port : ports_) {
            if (port.name == name) return &port;
        }
        return nullptr;
    }
    std::vector<FakePort> ports_;
};

FakePort port(std::u16string name, std::int32_t number) {
    FakePort p;
    p.name = std::move(name);
    p.number = number;
    return p;
}

std::vector<std::string> logLinesOf(const RunLog& log) {
    std::vector<std::string> lines;
    const std::string& text = log.text();
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

struct StageResult {
    std::vector<std::string> lines;
    std::vector<std::pair<std::u16string, std::int32_t>> sets;
};

StageResult runStage(std::vector<FakePort> ports, ModeTable table) {
    FakeLibrary library(std::move(ports));
    RunLog log;
    applyModes(library, enumeratePorts(library), table, log);
    StageResult result{logLinesOf(log), {}};
    for (const SetCall& call : library.sets) {
        EXPECT_EQ(call.selector, -1);
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
    using Lines = std::vector<std::string>;
    const struct {
        const char* name;
        std::vector<FakePort> ports;
        ModeTable table;
        Sets sets;
        Lines lines;
    } cases[] = {
        {"everything matches", {port(u"A", 1), port(u"B", 2)}, {{2, 15}, {1, 0}}, {{u"A", 0}, {u"B", 15}}, {}},
        {"no ports", {}, {{1, 0}, {2, 1}}, {}, {"Port 1 not found.", "Port 2 not found."}},
        {"empty table", {port(u"A", 1), port(u"B", 2)}, {}, {},
         {"Port 1 found with no mode assigned.", "Port 2 found with no mode assigned."}},
        {"qualifier other than 0", {withQualifier(port(u"A", 1), 1), withQualifier(port(u"B", 2), -1)},
         {{1, 0}}, {}, {"Port 1 not found."}},
        {"failed location", {failingLocation(port(u"A", 1))}, {{1, 0}}, {}, {"Port 1 not found."}},
        {"two entries, one port", {port(u"A", 3)}, {{3, 0}, {3, 1}}, {{u"A", 0}}, {"Port 3 not found."}},
        {"two entries, two ports", {port(u"A", 3), port(u"B", 3)}, {{3, 0}, {3, 1}}, {{u"A", 0}, {u"B", 1}}, {}},
        {"two ports, one entry", {port(u"A", 3), port(u"B", 3)}, {{3, 11}}, {{u"A", 11}},
         {"Port 3 found with no mode assigned."}},
        {"refused change", {refusing(port(u"A", 4))}, {{4, 15}}, {{u"A", 15}}, {"Failed to set mode for port 4."}},
        {"per-port lines first, in enumeration order",
         {port(u"A", 7), refusing(port(u"B", 2)), port(u"C", 8)},
         {{9, 0}, {2, 1}, {-5, 0}},
         {{u"B", 1}},
         {"Port 7 found with no mode assigned.", "Failed to set mode for port 2.",
          "Port 8 found with no mode assigned.", "Port 9 not found.", "Port -5 not found."}},
        {"empty name", {port(u"", 6)}, {{6, 11}}, {{u"", 11}}, {}},
        {"extreme numbers", {port(u"A", INT32_MIN), port(u"B", INT32_MAX)}, {{INT32_MAX, 0}}, {{u"B", 0}},
         {"Port -2147483648 found with no mode assigned."}},
        // An entry for -1 is an entry like any other: found only by a port that
        // reports -1, taken once, and reported when no port takes it.
        {"entry for -1 without a port", {port(u"A", 1)}, {{-1, 0}, {1, 15}}, {{u"A", 15}}, {"Port -1 not found."}},
        {"entry for -1 with a port", {port(u"A", -1)}, {{-1, 11}}, {{u"A", 11}}, {}},
        {"port -1 cannot take an entry already taken",
         {port(u"A", 5), port(u"B", -1)}, {{5, 1}}, {{u"A", 1}}, {"Port -1 found with no mode assigned."}},
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
    FakePort full = port(std::u16string(256, u'F'), 1);
    full.omitNul = true;
    FakePort shorter = port(u"S", 2); // written over the full name: only "S" up to its NUL counts
    FakePort nearlyFull = port(std::u16string(255, u'N'), 3);
    FakeLibrary library({full, shorter, nearlyFull, port(u"", 4)});
    const PortNameList names = enumeratePorts(library);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0], std::u16string(256, u'F'));
    EXPECT_EQ(names[1], u"S");
    EXPECT_EQ(names[2], std::u16string(255, u'N'));
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
        std::vector<std::string> expectedLines;
        std::vector<std::pair<std::u16string, std::int32_t>> expectedSets;
        std::vector<bool> taken(table.size(), false);
        for (const FakePort& p : ports) {
            if (p.qualifier != 0) continue;
            std::size_t found = table.size();
            for (std::size_t e = 0; e < table.size() && found == table.size(); ++e) {
                if (!taken[e] && table[e].portNumber == p.number) found = e;
            }
            if (found == table.size()) {
                expectedLines.push_back("Port " + std::to_string(p.number) + " found with no mode assigned.");
                continue;
            }
            expectedSets.emplace_back(p.name, table[found].modeCode);
            if (p.setResult == 0) expectedLines.push_back("Failed to set mode for port " + std::to_string(p.number) + ".");
            taken[found] = true;
        }
        for (std::size_t e = 0; e < table.size(); ++e) {
            if (!taken[e]) expectedLines.push_back("Port " + std::to_string(table[e].portNumber) + " not found.");
        }

        const StageResult result = runStage(ports, table);
        ASSERT_EQ(result.lines, expectedLines) << "round " << round;
        ASSERT_EQ(result.sets, expectedSets) << "round " << round;
    }
}
