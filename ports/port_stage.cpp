#include "ports/port_stage.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/text.h"

namespace ports {

namespace {

constexpr std::string_view withoutModeStart = "Port ";
constexpr std::string_view withoutModeEnd = " found with no mode assigned.";

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

// "Port {number}{rest}", built in a buffer reused for every line.
void appendPortLine(base::RunLog& log, std::string& buffer, std::string_view head, std::int32_t number,
                    std::string_view rest) {
    buffer.assign(head).append(base::formatDecimal(number)).append(rest);
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
            appendPortLine(log, line, withoutModeStart, portNumber, withoutModeEnd);
            continue;
        }
        if (library.setMode(name.c_str(), &modeTable[*entry].modeCode, modeSelector) == 0) {
            appendPortLine(log, line, "Failed to set mode for port ", portNumber, ".");
        }
        // Taken even when refused: a refusal is reported once, not again as "not found".
        consumed[*entry] = true;
    }
    std::size_t notFound = 0;
    for (bool taken : consumed) notFound += taken ? 0 : 1;
    log.reserve(notFound * std::string_view("Port -2147483648 not found.\r\n").size());
    for (std::size_t i = 0; i < modeTable.size(); ++i) {
        if (!consumed[i]) appendPortLine(log, line, "Port ", modeTable[i].portNumber, " not found.");
    }
}

bool reportsPortWithoutMode(std::string_view line) {
    if (line.size() <= withoutModeStart.size() + withoutModeEnd.size() ||
        line.substr(0, withoutModeStart.size()) != withoutModeStart ||
        line.substr(line.size() - withoutModeEnd.size()) != withoutModeEnd) {
        return false;
    }
    std::string_view number = line.substr(withoutModeStart.size(), line.size() - withoutModeStart.size() - withoutModeEnd.size());
    if (number.front() == '-') number.remove_prefix(1);
    return !number.empty() && number.size() <= 10 &&
           std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace ports
