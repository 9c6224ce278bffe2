#include "ports/port_stage.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/text.h"

namespace ports {

namespace {

// Each line: what comes before the port number and what after it.
struct PortLine {
    PortReport report;
    std::string_view head, tail;
};
constexpr PortLine portLines[] = {
    {PortReport::withoutMode, "Port ", " found with no mode assigned."},
    {PortReport::notSet, "Failed to set mode for port ", "."},
    {PortReport::notFound, "Port ", " not found."},
};
constexpr const PortLine& withoutModeLine = portLines[0];
constexpr const PortLine& notSetLine = portLines[1];
constexpr const PortLine& notFoundLine = portLines[2];

// The entries for each port number, chained in table order, with a cursor on
// the first one that no port has taken yet: finds the first free match in
// constant time, and is built in one pass, so the stage stays linear. It is
// built at the first lookup: a run without configurable ports never needs it.
class EntryQueues {
public:
    explicit EntryQueues(const ModeTable& table) : table_(table) {}

    // The index of the next free entry for `portNumber`, taken off its queue.
    std::optional<std::size_t> take(std::int32_t portNumber) {
        if (slots_.empty()) build();
        const std::uint32_t queueIndex = slots_[find(portNumber)];
        if (queueIndex == none) return std::nullopt;
        Queue& queue = queues_[queueIndex];
        if (queue.next == none) return std::nullopt;
        const std::size_t entry = queue.next;
        queue.next = nextSame_[queue.next];
        return entry;
    }

private:
    static constexpr std::uint32_t none = UINT32_MAX;
    struct Queue {
        std::uint32_t next; // the first entry not yet taken, or none
        std::uint32_t last; // the last entry: appended to while building, and holds the queue's number
    };

    void build() {
        std::size_t capacity = 16;
        while (capacity < 2 * table_.size()) capacity *= 2;
        slots_.assign(capacity, none);
        mask_ = capacity - 1;
        nextSame_.assign(table_.size(), none);
        for (std::size_t i = 0; i < table_.size(); ++i) {
            std::uint32_t& slot = slots_[find(table_[i].portNumber)];
            const auto index = static_cast<std::uint32_t>(i);
            if (slot == none) {
                slot = static_cast<std::uint32_t>(queues_.size());
                queues_.push_back(Queue{index, index});
            } else {
                nextSame_[queues_[slot].last] = index;
                queues_[slot].last = index;
            }
        }
    }

    // The slot of `portNumber`'s queue, or the empty slot where it belongs.
    std::size_t find(std::int32_t portNumber) const {
        std::size_t at = (static_cast<std::uint32_t>(portNumber) * 0x9E3779B9u) & mask_;
        while (slots_[at] != none && table_[queues_[slots_[at]].last].portNumber != portNumber) at = (at + 1) & mask_;
        return at;
    }

    const ModeTable& table_;
    std::vector<std::uint32_t> slots_;    // queue indexes by hashed number, at most half full
    std::vector<std::uint32_t> nextSame_; // the next entry with the same number, per entry
    std::vector<Queue> queues_;           // one per distinct port number
    std::size_t mask_ = 0;
};

// A port's line, built in a buffer reused for every line.
void appendPortLine(base::RunLog& log, std::string& buffer, const PortLine& kind, std::int32_t number) {
    buffer.assign(kind.head).append(base::formatDecimal(number)).append(kind.tail);
    log.appendLine(buffer);
}

} // namespace

PortNameList enumeratePorts(PortLibrary& library) {
    PortNameList names;
    // One buffer for the whole enumeration, not cleared between calls.
    std::vector<char16_t> nameBuffer(nameBufferLength);
    for (std::int32_t index = 0;; ++index) {
        if (library.enumerate(index, nameBuffer.data(), nameBufferLength) == 0) break;
        // A name that fills the buffer without a NUL is taken whole.
        const auto end = std::find(nameBuffer.begin(), nameBuffer.end(), u'\0');
        names.emplace_back(nameBuffer.begin(), end);
        if (index == std::numeric_limits<std::int32_t>::max()) break;
    }
    return names;
}

void applyModes(PortLibrary& library, const PortNameList& portNames, ModeTable& modeTable, base::RunLog& log) {
    EntryQueues queues(modeTable);
    // Taken entries are marked here, not by changing their port number, so an
    // entry for port -1 is matched and reported like any other.
    std::vector<bool> consumed(modeTable.size(), false);
    std::string line;
    for (const std::u16string& name : portNames) {
        std::int32_t locationQualifier = 0;
        std::int32_t portNumber = 0;
        // c_str() hands an empty name over as an empty string, never as null.
        if (library.getLocation(name.c_str(), &locationQualifier, &portNumber) == 0) continue;
        if (locationQualifier != 0) continue;

        const std::optional<std::size_t> entry = queues.take(portNumber);
        if (!entry) {
            appendPortLine(log, line, withoutModeLine, portNumber);
            continue;
        }
        if (library.setMode(name.c_str(), &modeTable[*entry].modeCode, modeSelector) == 0) {
            appendPortLine(log, line, notSetLine, portNumber);
        }
        // Taken even when refused: a refusal is reported once, not again as "not found".
        consumed[*entry] = true;
    }
    std::size_t notFound = 0;
    for (bool taken : consumed) notFound += taken ? 0 : 1;
    log.reserve(notFound * std::string_view("Port -2147483648 not found.\r\n").size());
    for (std::size_t i = 0; i < modeTable.size(); ++i) {
        if (!consumed[i]) appendPortLine(log, line, notFoundLine, modeTable[i].portNumber);
    }
}

std::optional<ReportedPort> reportedPort(std::string_view line) {
    for (const PortLine& kind : portLines) {
        if (line.size() <= kind.head.size() + kind.tail.size() || line.substr(0, kind.head.size()) != kind.head ||
            line.substr(line.size() - kind.tail.size()) != kind.tail) {
            continue;
        }
        std::string_view digits = line.substr(kind.head.size(), line.size() - kind.head.size() - kind.tail.size());
        const bool negative = digits.front() == '-';
        if (negative) digits.remove_prefix(1);
        if (digits.empty() || digits.size() > 10 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        std::int64_t value = 0;
        for (const char digit : digits) value = value * 10 + (digit - '0');
        if (negative) value = -value;
        if (value < INT32_MIN || value > INT32_MAX) continue;
        return ReportedPort{kind.report, static_cast<std::int32_t>(value)};
    }
    return std::nullopt;
}

bool reportsPortWithoutMode(std::string_view line) {
    const std::optional<ReportedPort> reported = reportedPort(line);
    return reported && reported->report == PortReport::withoutMode;
}

} // namespace ports
