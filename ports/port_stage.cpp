#include "ports/port_stage.h"

#include <algorithm>
#include <limits>
#include <cstdint>

#include "config/text.h"

namespace {

// The entries for each port number, chained in table order, with a cursor on
// the first one that no port has taken yet: finds the first free match in
// constant time, and is built in one pass, so the stage stays linear.
class EntryQueues {
public:
    explicit EntryQueues(const ModeTable& table) : nextSame_(table.size(), none) {
        std::size_t capacity = 16;
        while (capacity < 2 * table.size()) capacity *= 2;
        slots_.assign(capacity, Slot{0, none});
        mask_ = capacity - 1;
        for (std::size_t i = 0; i < table.size(); ++i) {
            Slot& slot = find(table[i].portNumber);
            if (slot.queue == none) {
                slot = Slot{table[i].portNumber, static_cast<std::uint32_t>(queues_.size())};
                queues_.push_back(Queue{static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i)});
            } else {
                Queue& queue = queues_[slot.queue];
                nextSame_[queue.last] = static_cast<std::uint32_t>(i);
                queue.last = static_cast<std::uint32_t>(i);
            }
        }
    }

    // The index of the next free entry for `portNumber`, taken off its queue.
    bool take(std::int32_t portNumber, std::size_t& entry) {
        const Slot& slot = find(portNumber);
        if (slot.queue == none) return false;
        Queue& queue = queues_[slot.queue];
        if (queue.next == none) return false;
        entry = queue.next;
        queue.next = nextSame_[queue.next];
        return true;
    }

private:
    static constexpr std::uint32_t none = UINT32_MAX;
    struct Slot {
        std::int32_t portNumber;
        std::uint32_t queue; // none: an empty slot
    };
    struct Queue {
        std::uint32_t next; // the first entry not yet taken, or none
        std::uint32_t last; // the last entry, for appending while building
    };

    // The slot holding `portNumber`, or the empty slot where it belongs.
    Slot& find(std::int32_t portNumber) {
        std::size_t at = (static_cast<std::uint32_t>(portNumber) * 0x9E3779B9u) & mask_;
        while (slots_[at].queue != none && slots_[at].portNumber != portNumber) at = (at + 1) & mask_;
        return slots_[at];
    }

    std::vector<std::uint32_t> nextSame_; // the next entry with the same number, per entry
    std::vector<Slot> slots_;             // open addressing, at most half full
    std::vector<Queue> queues_;           // one per distinct port number
    std::size_t mask_ = 0;
};

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

void applyModes(PortLibrary& library, const PortNameList& portNames, ModeTable& modeTable, RunLog& log) {
    EntryQueues queues(modeTable);
    // Taken entries are marked here, not by changing their port number, so an
    // entry for port -1 is matched and reported like any other.
    std::vector<bool> consumed(modeTable.size(), false);
    for (const std::u16string& name : portNames) {
        std::int32_t locationQualifier = 0;
        std::int32_t portNumber = 0;
        // c_str() hands an empty name over as an empty string, never as null.
        if (library.getLocation(name.c_str(), &locationQualifier, &portNumber) == 0) continue;
        if (locationQualifier != 0) continue;

        std::size_t entry = 0;
        if (!queues.take(portNumber, entry)) {
            log.appendLine("Port " + formatDecimal(portNumber) + " found with no mode assigned.");
            continue;
        }
        if (library.setMode(name.c_str(), &modeTable[entry].modeCode, modeSelector) == 0) {
            log.appendLine("Failed to set mode for port " + formatDecimal(portNumber) + ".");
        }
        // Taken even when refused: a refusal is reported once, not again as "not found".
        consumed[entry] = true;
    }
    for (std::size_t i = 0; i < modeTable.size(); ++i) {
        if (!consumed[i]) log.appendLine("Port " + formatDecimal(modeTable[i].portNumber) + " not found.");
    }
}
