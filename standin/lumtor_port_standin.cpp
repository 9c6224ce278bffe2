// A simulated port library with the LumtorPorts interface. See README.md.

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ports/lumtor_ports.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <link.h>
#include <sys/mman.h>
#endif

namespace {

enum class FaultAt { none, enumerate, location, txvr };
enum class FaultKind { access, divide, illegal, abort, stack, bus, breakpoint };
enum class FaultLock { none, heap, loader };

struct SimulatedPort {
    std::u16string name;
    int32_t number = 0;
    int32_t qualifier = 0;
    bool locationFails = false;
    bool refusesModes = false;
    FaultAt fault = FaultAt::none;
    bool faultWrites = true;
    FaultKind faultKind = FaultKind::access;
    FaultLock faultLock = FaultLock::none;
};

struct Simulation {
    std::vector<SimulatedPort> ports;
    bool endless = false;
};

std::u16string widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            out.push_back(static_cast<char>(unit));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            out += escaped;
        }
    }
    return out;
}

SimulatedPort parsePort(const std::string& line) {
    SimulatedPort port;
    std::istringstream words(line);
    std::string word;
    std::string nameText;
    std::size_t nameLength = std::string::npos;
    while (words >> word) {
        const std::size_t eq = word.find('=');
        const std::string key = word.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
        if (key == "name") nameText = value;
        else if (key == "namelength") nameLength = std::strtoul(value.c_str(), nullptr, 10);
        else if (key == "number") port.number = static_cast<int32_t>(std::strtoll(value.c_str(), nullptr, 0));
        else if (key == "qualifier") port.qualifier = static_cast<int32_t>(std::strtoll(value.c_str(), nullptr, 0));
        else if (key == "location") port.locationFails = value == "fail";
        else if (key == "set") port.refusesModes = value == "refuse";
        else if (key == "fault-access") port.faultWrites = value != "read";
        else if (key == "fault-kind") {
            port.faultKind = value == "divide"    ? FaultKind::divide
                             : value == "illegal" ? FaultKind::illegal
                             : value == "abort"   ? FaultKind::abort
                             : value == "stack"   ? FaultKind::stack
                             : value == "bus"     ? FaultKind::bus
                             : value == "breakpoint" ? FaultKind::breakpoint
                                                  : FaultKind::access;
        }
        else if (key == "fault-lock") {
            port.faultLock = value == "heap" ? FaultLock::heap : value == "loader" ? FaultLock::loader : FaultLock::none;
        }
        else if (key == "fault") {
            port.fault = value == "enum" ? FaultAt::enumerate
                         : value == "location" ? FaultAt::location
                         : value == "txvr" ? FaultAt::txvr
                                           : FaultAt::none;
        }
    }
    port.name = widen(nameText);
    if (nameLength != std::string::npos) {
        std::u16string filled;
        while (filled.size() < nameLength) filled += nameText.empty() ? u"P" : port.name;
        filled.resize(nameLength);
        port.name = filled;
    }
    return port;
}

Simulation builtInPorts() {
    Simulation simulation;
    for (int32_t number = 1; number <= 4; ++number) {
        SimulatedPort port;
        port.name = widen("COM" + std::to_string(number));
        port.number = number;
        simulation.ports.push_back(port);
    }
    SimulatedPort notConfigurable;
    notConfigurable.name = u"COM5";
    notConfigurable.number = 5;
    notConfigurable.qualifier = 1;
    simulation.ports.push_back(notConfigurable);
    return simulation;
}

Simulation loadSimulation() {
    const char* path = std::getenv("LUMTOR_STANDIN_PORTS");
    if (!path || !*path) return builtInPorts();
    Simulation simulation;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (line.find("endless") != std::string::npos && line.find('=') == std::string::npos) {
            simulation.endless = true;
            continue;
        }
        simulation.ports.push_back(parsePort(line));
    }
    return simulation;
}

Simulation& simulation() {
    static Simulation loaded = loadSimulation();
    return loaded;
}

void appendTo(const char* variable, const std::string& line) {
    const char* path = std::getenv(variable);
    if (!path || !*path) return;
    if (std::FILE* file = std::fopen(path, "ab")) {
        std::fputs((line + "\n").c_str(), file);
        std::fclose(file);
    }
}

void trace(const std::string& line) { appendTo("LUMTOR_STANDIN_TRACE", line); }

#ifdef _WIN32
// Windows has no bus error: a memory-access fault stands in for it.
void raiseBusError() {
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
}
#else
// Reading a mapped page that lies past the end of its file: SIGBUS.
void raiseBusError() {
    std::FILE* file = std::tmpfile();
    void* page = file ? mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(file), 0) : MAP_FAILED;
    if (page != MAP_FAILED) (void)*static_cast<volatile char*>(page);
}
#endif

// The processor's breakpoint instruction, left in a library built for debugging.
void raiseBreakpoint() {
#if defined(_WIN32)
    DebugBreak();
#elif defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("int3");
#elif defined(__aarch64__)
    __asm__ volatile("brk #0");
#elif defined(__arm__) && defined(__thumb__)
    __asm__ volatile(".inst.n 0xde01"); // the kernel's breakpoint instructions
#elif defined(__arm__)
    __asm__ volatile(".inst 0xe7f001f0");
#else
    std::raise(SIGTRAP);
#endif
}

// Recurses until the stack runs out; the depth test only keeps the compiler
// from seeing an endless recursion.
int exhaustStack(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    if (depth == INT32_MAX) return 0;
    return exhaustStack(depth + 1) + frame[0];
}

// A real fault of the port's kind, as a broken driver library would raise it.
// Exempt from the undefined-behaviour checks: the faults are the point.
__attribute__((no_sanitize("undefined"))) void raiseFaultOfKind(const SimulatedPort& port) {
    volatile std::uintptr_t address = 16;
    volatile int zero = 0, numerator = 7;
    switch (port.faultKind) {
    case FaultKind::divide: zero = numerator / zero; break;
    case FaultKind::illegal: __builtin_trap();
    case FaultKind::abort: std::abort();
    case FaultKind::stack: zero = exhaustStack(zero); break;
    case FaultKind::bus: raiseBusError(); break;
    case FaultKind::breakpoint: raiseBreakpoint(); break;
    case FaultKind::access:
        if (port.faultWrites) {
            *reinterpret_cast<volatile int*>(address) = 1;
        } else {
            (void)*reinterpret_cast<volatile int*>(address);
        }
        break;
    }
}

#ifdef _WIN32
// A broken library that corrupts its heap faults inside the heap's code, with
// the process heap's lock held; one that faults while the system loads or
// unloads a module holds the loader lock.
void raiseFault(const SimulatedPort& port) {
    if (port.faultLock == FaultLock::heap) {
        HeapLock(GetProcessHeap());
    } else if (port.faultLock == FaultLock::loader) {
        using LockLoader = LONG(WINAPI*)(ULONG, ULONG*, ULONG_PTR*);
        const auto lock = reinterpret_cast<LockLoader>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrLockLoaderLock")));
        ULONG_PTR cookie = 0;
        if (lock) lock(0, nullptr, &cookie);
    }
    raiseFaultOfKind(port);
}
#else
// The loader's lock is held while dl_iterate_phdr calls back; a heap lock
// cannot be taken from outside the C library, so "heap" faults plainly.
int faultWithLoaderLock(dl_phdr_info*, std::size_t, void* port) {
    raiseFaultOfKind(*static_cast<const SimulatedPort*>(port));
    return 1;
}

void raiseFault(const SimulatedPort& port) {
    if (port.faultLock == FaultLock::loader) {
        dl_iterate_phdr(faultWithLoaderLock, const_cast<SimulatedPort*>(&port));
    }
    raiseFaultOfKind(port);
}
#endif

SimulatedPort* findPort(const char16_t* name) {
    if (!name) return nullptr;
    const std::u16string wanted(name);
    for (SimulatedPort& port : simulation().ports) {
        if (port.name == wanted) return &port;
    }
    return nullptr;
}

const char* modeName(int32_t code) {
    switch (code) {
    case modeCodeRs232: return "RS-232";
    case modeCodeRs422: return "RS-422";
    case modeCodeRs485FourWire: return "RS-485 four-wire";
    case modeCodeRs485TwoWire: return "RS-485 two-wire";
    default: return nullptr;
    }
}

#ifdef _WIN32
// What the program set up for its process before asking for ports, read
// back once for the tests: its command line as Windows holds it, and its
// error mode (read by setting it, as XP has no GetErrorMode).
void describeProcess() {
    static const bool described = [] {
        const UINT mode = SetErrorMode(0);
        SetErrorMode(mode);
        appendTo("LUMTOR_STANDIN_PROCESS", std::string("command line: ") + GetCommandLineA());
        appendTo("LUMTOR_STANDIN_PROCESS", "error mode: " + std::to_string(mode));
        return true;
    }();
    (void)described;
}
#else
void describeProcess() {}
#endif

} // namespace

extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortEnum(int32_t index, char16_t* nameBuffer, int32_t bufferLength) {
    try {
        trace("enum " + std::to_string(index));
        describeProcess();
        const auto& ports = simulation().ports;
        if (index < 0 || ports.empty() || !nameBuffer || bufferLength <= 0) return 0;
        std::size_t at = static_cast<std::size_t>(index);
        if (at >= ports.size()) {
            if (!simulation().endless) return 0;
            at %= ports.size();
        }
        const SimulatedPort& port = ports[at];
        if (port.fault == FaultAt::enumerate) raiseFault(port);
        const std::size_t length = std::min<std::size_t>(port.name.size(), static_cast<std::size_t>(bufferLength));
        std::memcpy(nameBuffer, port.name.data(), length * sizeof(char16_t));
        if (length < static_cast<std::size_t>(bufferLength)) nameBuffer[length] = u'\0';
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortGetLocation(const char16_t* portName,
                                                                   int32_t* locationQualifier, int32_t* portNumber) {
    try {
        trace("location " + (portName ? narrow(portName) : std::string("(null)")));
        SimulatedPort* port = findPort(portName);
        if (!port || !locationQualifier || !portNumber) return 0;
        if (port->fault == FaultAt::location) raiseFault(*port);
        if (port->locationFails) return 0;
        *locationQualifier = port->qualifier;
        *portNumber = port->number;
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" LUMTOR_VISIBLE int32_t LUMTOR_API LumtorPortTXVR(const char16_t* portName, int32_t* modeCode,
                                                            int32_t selector) {
    try {
        const std::string name = portName ? narrow(portName) : std::string("(null)");
        const std::string code = modeCode ? std::to_string(*modeCode) : std::string("(null)");
        trace("txvr " + name + " " + code + " " + std::to_string(selector));
        SimulatedPort* port = findPort(portName);
        if (!port || !modeCode) return 0;
        if (port->fault == FaultAt::txvr) raiseFault(*port);
        const char* mode = modeName(*modeCode);
        if (port->refusesModes || !mode || selector != modeSelector) return 0;
        appendTo("LUMTOR_STANDIN_RECORD", name + " " + code + " " + mode);
        return 1;
    } catch (...) {
        return 0;
    }
}
