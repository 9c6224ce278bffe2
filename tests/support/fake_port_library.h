#pragma once

// A port library held in memory, for the tests and the benchmarks: the ports
// it reports, what it was asked, and what it refuses. Header only, so the
// benchmarks take it without GoogleTest.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ports/port_library.h"

namespace testing_support {

struct FakePort {
    std::u16string name;
    std::int32_t number = 0;
    std::int32_t qualifier = 0;
    std::int32_t locationResult = 1; // 0: the library gives no location
    std::int32_t setResult = 1;      // 0: it refuses every mode
    bool omitNul = false;            // the name fills the buffer with no NUL unit
};

inline FakePort port(std::u16string name, std::int32_t number) {
    FakePort p;
    p.name = std::move(name);
    p.number = number;
    return p;
}

struct SetCall {
    std::u16string name;
    const std::int32_t* modeAddress;
    std::int32_t modeCode;
    std::int32_t selector;
};

class FakePortLibrary final : public ports::PortLibrary {
public:
    explicit FakePortLibrary(std::vector<FakePort> ports) : ports_(std::move(ports)) {
        for (std::size_t i = 0; i < ports_.size(); ++i) index_.emplace(ports_[i].name, i);
    }

    std::int32_t enumerate(std::int32_t index, char16_t* nameBuffer, std::int32_t bufferLength) override {
        if (recording) {
            buffers.push_back(nameBuffer);
            bufferLengths.push_back(bufferLength);
        }
        if (index < 0 || static_cast<std::size_t>(index) >= ports_.size()) return 0;
        const FakePort& port = ports_[static_cast<std::size_t>(index)];
        std::copy(port.name.begin(), port.name.end(), nameBuffer);
        if (!port.omitNul) nameBuffer[port.name.size()] = u'\0';
        return 1;
    }

    std::int32_t getLocation(const char16_t* portName, std::int32_t* qualifier, std::int32_t* number) override {
        if (recording) locationNames.push_back(portName);
        const FakePort* port = find(portName);
        if (!port || port->locationResult == 0) return 0;
        *qualifier = port->qualifier;
        *number = port->number;
        return port->locationResult;
    }

    std::int32_t setMode(const char16_t* portName, std::int32_t* modeCode, std::int32_t selector) override {
        ++modesSet;
        if (recording) sets.push_back(SetCall{portName, modeCode, *modeCode, selector});
        const FakePort* port = find(portName);
        if (!port || (refusedMode && *modeCode == *refusedMode)) return 0;
        return port->setResult;
    }

    // A mode every port refuses.
    std::optional<std::int32_t> refusedMode;
    // Off, only the count of mode changes is kept: a benchmark measures the stage, not the fake.
    bool recording = true;
    std::vector<char16_t*> buffers;
    std::vector<std::int32_t> bufferLengths;
    std::vector<const char16_t*> locationNames;
    std::vector<SetCall> sets;
    int modesSet = 0;

private:
    const FakePort* find(const char16_t* name) const {
        if (!name) return nullptr;
        const auto found = index_.find(name);
        return found == index_.end() ? nullptr : &ports_[found->second];
    }

    std::vector<FakePort> ports_;
    // The first port of each name.
    std::unordered_map<std::u16string, std::size_t> index_;
};

} // namespace testing_support
