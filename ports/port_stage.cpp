#include "ports/port_stage.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "config/text.h"

namespace {

// The entries for each port number, in table order, with a cursor on the
// first one no port has taken yet: finds the first free match in constant time.
class EntryQueues {
public:
    explicit EntryQueues(const ModeTable& table) {
        order_.resize(table.size());
        for (std::size_t i = 0; i < table.size(); ++i) order_[i] = i;
        std::stable_sort(order_.begin(), order_.end(),
                         [&](std::size_t a, std::size_t b) { return table[a].portNumber < table[b].portNumber; });
        ranges_.reserve(table.size());
        for (std::size_t i = 0; i < order_.size(); ++i) {
            Range& range = ranges_.try_emplace(table[order_[i]].portNumber, Range{i, i}).first->second;
            range.end = i + 1;
        }
    }

    // The index of the next free entry for `portNumber`, taken off its queue.
    bool take(std::int32_t portNumber, std::size_t& entry) {
        const auto found = ranges_.find(portNumber);
        if (found == ranges_.end() || found->second.next == found->second.end) return false;
        entry = order_[found->second.next++];
        return true;
    }

private:
    struct Range {
        std::size_t next;
        std::size_t end;
    };
    std::vector<std::size_t> order_;
    std::unordered_map<std::int32_t, Range> ranges_;
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
        modeTable[entry].consumed = true;
    }
    for (const ModeEntry& entry : modeTable) {
        if (!entry.consumed) log.appendLine("Port " + formatDecimal(entry.portNumber) + " not found.");
    }
}
