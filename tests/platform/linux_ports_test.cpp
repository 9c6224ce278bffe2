// The Linux port library against a made-up sysfs tree and a stand-in kernel
// that behaves like each generation of the serial core, called through the
// exported calls in the program's own order.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>
#include <thread>

#include "config/configuration.h"
#include "linuxports/device_access.h"
#include "linuxports/linux_port_list.h"
#include "linuxports/linux_port_library.h"
#include "ports/port_stage.h"
#include "support/expected_log.h"
#include "support/program_runner.h"

using namespace testing_support;
using namespace base;
using namespace config;
using namespace ports;
using linuxports::KernelGeneration;
using linuxports::modeRs422Flag;
using linuxports::sameSettings;

namespace {

constexpr std::uint32_t on = SER_RS485_ENABLED, rtsOnSend = SER_RS485_RTS_ON_SEND,
                        rtsAfterSend = SER_RS485_RTS_AFTER_SEND, rxDuringTx = SER_RS485_RX_DURING_TX,
                        terminate = SER_RS485_TERMINATE_BUS, addressing = SER_RS485_ADDRB | SER_RS485_ADDR_RECV;

// How the stand-in kernel treats one device.
struct FakeDevice {
    bool rs485 = true;       // the driver takes RS-485 settings
    bool placeholder = false; // an 8250 port with no hardware: EIO on every RS-485 call
    int openError = 0;
    bool exclusive = false;   // another program holds it exclusively (TIOCEXCL)
    bool locked = false;      // another program holds its advisory lock
    // What the driver lists as supported (6.0 on), and whether it has delays.
    std::uint32_t supported = on | rtsOnSend | rtsAfterSend | rxDuringTx | terminate | addressing;
    bool delayBeforeSend = true, delayAfterSend = true;
    // The i.MX driver on the UART's own RTS: active-low RTS keeps the receiver on.
    bool activeLowRtsForcesReceiver = false;
    // The 8250 core's software RS-485 on 6.0 to 6.7: RTS-on-send set again once RS-485 is off.
    bool rtsOnSendWhenOff = false;
    bool readBackFails = false; // TIOCGRS485 fails once settings were written
    // A USB adapter of xr_serial (6.12): its own TIOCSRS485, past the serial core.
    bool xrSerial = false;
    // The bus termination line (rs485-term-gpios) and its level.
    bool terminationLine = false;
    bool terminated = false;
    // DTR and RTS, which every open raises, as the serial core shows them
    // unopened. They outlive our close: another program holds the port.
    int lines = 0;
    serial_rs485 settings{};
    int sets = 0;
};

// xr_serial's TIOCSRS485 (6.12, xr_sanitize_serial_rs485): RS-485 on or off
// and the RTS polarity, RTS-on-send winning, after-send where neither is
// asked; every other flag, the delays and the addresses dropped; nothing refused.
void xrSet(FakeDevice& device, serial_rs485& asked) {
    serial_rs485 kept{};
    if (asked.flags & on) {
        kept.flags = on | (asked.flags & rtsOnSend ? rtsOnSend : rtsAfterSend);
    }
    device.settings = kept;
    asked = kept;
    ++device.sets;
}

// The serial core's TIOCSRS485, generation by generation. Before 6.0 the
// driver stores what it is given (as the 8250 driver does, fixing only the RTS
// polarity and the delays' range); from 6.0 the core refuses the flags the
// driver does not list (RS-422 unless it lists it, in a kernel that knows it:
// 6.8 on), drops the older ones it cannot do, picks an RTS polarity where
// neither or both are asked, and clears everything when RS-485 goes off; an
// RS-422 request keeps only termination. The termination line follows the
// request only while RS-485 is on.
int kernelSet(KernelGeneration generation, bool knowsRs422, FakeDevice& device, serial_rs485& asked) {
    serial_rs485 kept = asked;
    std::uint32_t supported = device.supported;
    if (generation == KernelGeneration::unfiltered) {
        supported = ~0u;
    } else {
        const std::uint32_t legacy = on | rtsOnSend | rtsAfterSend | rxDuringTx | terminate;
        if (!knowsRs422) supported &= ~modeRs422Flag;
        if (kept.flags & ~legacy & ~supported) return -EINVAL;
        if (!(kept.flags & SER_RS485_ADDRB) && (kept.flags & (SER_RS485_ADDR_RECV | SER_RS485_ADDR_DEST)))
            return -EINVAL;
        if ((!(kept.flags & SER_RS485_ADDR_RECV) && kept.addr_recv) ||
            (!(kept.flags & SER_RS485_ADDR_DEST) && kept.addr_dest))
            return -EINVAL;
        if (!(kept.flags & on)) {
            kept = serial_rs485{};
            if (device.rtsOnSendWhenOff) kept.flags = rtsOnSend;
        }
    }
    if ((kept.flags & on) && (kept.flags & modeRs422Flag) && generation == KernelGeneration::filtering) {
        kept.flags &= on | modeRs422Flag | terminate;
    } else if (kept.flags & on) {
        kept.flags &= supported;
        if (!(kept.flags & rtsOnSend) == !(kept.flags & rtsAfterSend)) {
            kept.flags = supported & rtsOnSend ? (kept.flags | rtsOnSend) & ~rtsAfterSend
                                               : (kept.flags | rtsAfterSend) & ~rtsOnSend;
        }
        if (device.activeLowRtsForcesReceiver && !(kept.flags & rtsOnSend)) kept.flags |= rxDuringTx;
        if (!device.delayBeforeSend) kept.delay_rts_before_send = 0;
        if (!device.delayAfterSend) kept.delay_rts_after_send = 0;
        kept.delay_rts_before_send = std::min(kept.delay_rts_before_send, 100u);
        kept.delay_rts_after_send = std::min(kept.delay_rts_after_send, 100u);
    }
    if ((kept.flags & on) && device.terminationLine) device.terminated = kept.flags & terminate;
    device.settings = kept;
    asked = kept;
    ++device.sets;
    return 0;
}

class FakeKernel final : public linuxports::DeviceAccess {
public:
    // `knowsRs422`: a kernel of 6.8 or later, where drivers may list RS-422.
    explicit FakeKernel(KernelGeneration generation, bool knowsRs422 = false)
        : generation_(generation), knowsRs422_(knowsRs422) {}

    KernelGeneration generation() override { return generation_; }
    int open(const std::string& path) override {
        // Paths resolve as the file system resolves them.
        const auto found = devices.find(fs::path(path).lexically_normal().string());
        if (found == devices.end()) return -ENOENT;
        if (found->second.openError) return -found->second.openError;
        // Only CAP_SYS_ADMIN opens a port held exclusively.
        if (found->second.exclusive && !capSysAdmin) return -EBUSY;
        handles.push_back(found->first);
        found->second.lines |= TIOCM_DTR | TIOCM_RTS;
        ++openHandles;
        ++opens;
        return static_cast<int>(handles.size() - 1);
    }
    std::optional<int> modemLinesUnopened(const std::string& path) override {
        const auto found = devices.find(fs::path(path).lexically_normal().string());
        if (found == devices.end() || !capSysAdmin) return std::nullopt;
        return found->second.lines;
    }
    int getModemLines(int handle, int& lines) override { lines = device(handle).lines; return 0; }
    int lowerModemLines(int handle, int lines) override { device(handle).lines &= ~lines; return 0; }
    bool claim(int handle) override { return !device(handle).exclusive && !device(handle).locked; }
    int getRs485(int handle, serial_rs485& settings) override {
        if (device(handle).placeholder || (device(handle).readBackFails && device(handle).sets > 0)) return -EIO;
        settings = device(handle).settings;
        return 0;
    }
    // Without settings the driver answers as it would on reading them.
    int setRs485(int handle, serial_rs485* settings) override {
        if (device(handle).placeholder) return -EIO;
        if (!device(handle).rs485) return -ENOTTY;
        if (!settings) return -EFAULT;
        if (device(handle).xrSerial) return xrSet(device(handle), *settings), 0;
        return kernelSet(generation_, knowsRs422_, device(handle), *settings);
    }
    void close(int) override { --openHandles; }

    std::map<std::string, FakeDevice> devices;
    // Root's, from a shell; the units run without it.
    bool capSysAdmin = true;
    int openHandles = 0;
    int opens = 0;

private:
    FakeDevice& device(int handle) { return devices.at(handles.at(static_cast<std::size_t>(handle))); }

    KernelGeneration generation_;
    bool knowsRs422_;
    std::vector<std::string> handles;
};

class LinuxPorts : public ::testing::Test {
protected:
    // A tty entry under the made-up sysfs: with a device link and a type when given.
    void addTty(const std::string& name, const char* type, bool device = true) {
        const fs::path entry = sysfs() / name;
        fs::create_directories(entry);
        if (device) fs::create_directory(entry / "device");
        if (type) writeFile(entry / "type", std::string(type) + "\n");
    }
    FakeDevice& addPort(FakeKernel& kernel, const std::string& name) {
        addTty(name, "4");
        return kernel.devices[(scratch / "dev" / name).string()];
    }
    // A port of `driver` (a USB adapter's has no type), with a termination
    // line in its device tree where asked, and udev's `properties`.
    FakeDevice& addPort(FakeKernel& kernel, const std::string& name, const std::string& driver, bool usb,
                        bool terminationLine = false, const std::string& properties = "") {
        addTty(name, usb ? nullptr : "4");
        fs::create_directory_symlink(scratch / "drivers" / driver, sysfs() / name / "device" / "driver");
        if (terminationLine) {
            fs::create_directories(sysfs() / name / "device" / "of_node");
            writeFile(sysfs() / name / "device" / "of_node" / "rs485-term-gpios", "");
        }
        const std::string number = "188:" + std::to_string(kernel.devices.size());
        fs::create_directories(udevData());
        writeFile(sysfs() / name / "dev", number + "\n");
        writeFile(udevData() / ("c" + number), "I:1\n" + properties);
        FakeDevice& device = kernel.devices[(scratch / "dev" / name).string()];
        device.terminationLine = terminationLine;
        return device;
    }
    fs::path sysfs() const { return scratch / "sys" / "class" / "tty"; }
    fs::path udevData() const { return scratch / "run" / "udev" / "data"; }

    // The program's port stage over the exported calls: the log's lines.
    Lines runPortStage(FakeKernel& kernel, const std::string& configuration, linuxports::RunScope scope = {}) {
        refusals.clear();
        scope.report = [&](std::string_view line) { refusals.emplace_back(line); };
        linuxports::SerialPorts ports(sysfs().string(), (scratch / "dev").string(), udevData().string(), kernel,
                                      scope);
        linuxports::LinuxPortLibrary calls(ports, scope.report);
        RunLog log;
        ModeTable table = parseConfiguration(configuration, log).table;
        applyModes(calls, enumeratePorts(calls), table, log);
        return splitLines(log.text());
    }

    ScratchDir scratch;
    // The lines the library said for the modes it refused, in the last stage.
    Lines refusals;
};

// A run's scope: where it keeps its records, the port it was started for.
linuxports::RunScope scope(std::string records, std::string appeared = "",
                           std::chrono::milliseconds udevWait = std::chrono::seconds(10)) {
    linuxports::RunScope scope;
    scope.recordsFolder = std::move(records);
    scope.appeared = std::move(appeared);
    scope.udevWait = udevWait;
    return scope;
}

serial_rs485 settings(std::uint32_t flags, std::uint32_t before = 3, std::uint32_t after = 5, std::uint8_t address = 0) {
    serial_rs485 s{};
    s.flags = flags;
    s.delay_rts_before_send = before;
    s.delay_rts_after_send = after;
    s.addr_recv = address;
    return s;
}

} // namespace

TEST_F(LinuxPorts, EnumeratesSerialCorePortsByFamilyThenNumber) {
    FakeKernel kernel(KernelGeneration::filtering, true);
    addTty("ttyS10", "4");
    addTty("ttyS2", "4");
    addTty("ttyAMA0", "32");
    addTty("ttyS0", "0");            // an 8250 placeholder: no hardware
    addTty("ttyS1", "0");
    addTty("tty5", nullptr, false);  // a virtual console: no device
    addTty("ttyS5", "4", false);     // a type, but no device behind it
    addTty("ttyUSB0", nullptr);      // a device, but not a serial-core port
    addTty("ttyX", "4");             // no number: listed, first of its family
    addTty("ttyX3", "4");
    addTty(std::string(255, 'n'), "4");
    // Kept away by the administrator's udev rule, and a property that does not.
    for (const auto& [name, property] : {std::pair{"ttyS3", "E:SKARVELCONFIG_IGNORE=1"},
                                         std::pair{"ttyS4", "E:SKARVELCONFIG_IGNORE=0"}}) {
        addTty(name, "4");
        fs::create_directories(udevData());
        writeFile(sysfs() / name / "dev", std::string("4:6") + name[4] + "\n");
        writeFile(udevData() / (std::string("c4:6") + name[4]), std::string("I:1\n") + property + "\nG:systemd\n");
    }
    linuxports::SerialPorts ports(sysfs().string(), (scratch / "dev").string(), udevData().string(), kernel);
    const std::size_t descriptors = openDescriptorCount();
    EXPECT_EQ(ports.scanPorts(), (std::vector<std::string>{std::string(255, 'n'), "ttyAMA0", "ttyS2", "ttyS4", "ttyS10",
                                                           "ttyX", "ttyX3"}));
    EXPECT_EQ(openDescriptorCount(), descriptors) << "every attribute and directory closed again";
    linuxports::SerialPorts missing((scratch / "missing").string(), "/dev", "/run/udev/data", kernel);
    EXPECT_FALSE(missing.portName(0));
}

TEST_F(LinuxPorts, EveryPortIsFoundAndSetWhateverItsNameFamilyLengthAndLastDigit) {
    // Names of every length from 5 to 12, in several families, ending in every
    // digit; enumerated longest-first within a family so that a name left in
    // the program's reused buffer would show.
    const std::vector<std::pair<std::string, int>> names = {
        {"ttyAMA0", 0}, {"ttyS1", 1}, {"ttymxc2", 2}, {"ttyS13", 13}, {"ttyLP4", 4}, {"ttyS5", 5},
        {"ttySC16", 16}, {"ttyS7", 7}, {"ttyTHS8", 8}, {"ttyS9", 9}, {"ttyS19", 19}, {"ttyXRUSB1230", 1230}};
    FakeKernel kernel(KernelGeneration::filtering);
    std::string configuration;
    for (const auto& [name, number] : names) {
        // Held by another program with RTS high and DTR low.
        FakeDevice& port = addPort(kernel, name);
        port.settings = settings(rtsAfterSend);
        port.lines = TIOCM_RTS;
        configuration += "Port" + std::to_string(number) + "=RS485-4W\n";
    }
    addPort(kernel, "ttyS3").rs485 = false; // no RS-485 driver: neither touched nor reported
    configuration += "Port3=RS485\n";

    EXPECT_EQ(runPortStage(kernel, configuration), Lines{portNotFound(3)});
    for (const auto& [name, number] : names) {
        const FakeDevice& port = kernel.devices.at((scratch / "dev" / name).string());
        EXPECT_TRUE(sameSettings(port.settings, settings(on | rxDuringTx | rtsAfterSend))) << name;
        EXPECT_EQ(port.sets, 1) << name;
        EXPECT_EQ(port.lines, TIOCM_RTS) << name << ": only the lines our open raised are lowered";
    }
    EXPECT_EQ(kernel.devices.at((scratch / "dev" / "ttyS3").string()).sets, 0);
    EXPECT_EQ(kernel.opens, static_cast<int>(names.size()) + 1) << "each port opened once";
    EXPECT_EQ(kernel.openHandles, 0) << "every device closed again";
}

TEST_F(LinuxPorts, BoardSettingsSurviveEveryModeOnEveryKernelGeneration) {
    // The board's RS-485 details as the device tree leaves them: RS-485 off,
    // active-low driver enable, delays 3/5, termination and addressing.
    const std::uint32_t board = rtsAfterSend | terminate | addressing;
    const serial_rs485 boot = settings(board, 3, 5, 0x12);
    const struct {
        KernelGeneration generation;
        const char* configuration;
        serial_rs485 start;
        bool set;
        serial_rs485 end;
    } cases[] = {
        // A port the configuration does not name keeps everything.
        {KernelGeneration::unfiltered, "Port7=RS485\n", boot, true, boot},
        {KernelGeneration::filtering, "Port7=RS485\n", boot, true, boot},
        // RS-232 on a port whose RS-485 is off already: nothing to change.
        {KernelGeneration::unfiltered, "Port0=RS232\n", boot, true, boot},
        {KernelGeneration::filtering, "Port0=RS232\n", boot, true, boot},
        {KernelGeneration::filtering, "Port0=RS232\n", settings(rxDuringTx | board, 3, 5, 0x12), true,
         settings(rxDuringTx | board, 3, 5, 0x12)},
        // RS-232 on a port in RS-485: the old kernel keeps the details, a
        // filtering one clears them.
        {KernelGeneration::unfiltered, "Port0=RS232\n", settings(on | board, 3, 5, 0x12), true, boot},
        {KernelGeneration::filtering, "Port0=RS232\n", settings(on | board, 3, 5, 0x12), true, settings(0, 0, 0)},
        // Two-wire: only RS-485 on; every detail as the board set it.
        {KernelGeneration::unfiltered, "Port0=RS485\n", boot, true, settings(on | board, 3, 5, 0x12)},
        {KernelGeneration::filtering, "Port0=RS485-2W\n", boot, true, settings(on | board, 3, 5, 0x12)},
        {KernelGeneration::filtering, "Port0=RS485\n", settings(on | rxDuringTx | board, 3, 5, 0x12), true,
         settings(on | board, 3, 5, 0x12)},
        // Four-wire: a kernel before 6.0 cannot confirm it, so it is not tried.
        {KernelGeneration::unfiltered, "Port0=RS485-4W\n", boot, false, boot},
        {KernelGeneration::filtering, "Port0=RS485-4W\n", boot, true, settings(on | rxDuringTx | board, 3, 5, 0x12)},
        // RS-422 only for drivers that list it (from 6.8 on), and none does.
        {KernelGeneration::unfiltered, "Port0=RS422\n", boot, false, boot},
        {KernelGeneration::filtering, "Port0=RS422\n", boot, false, boot},
    };
    for (const auto& c : cases) {
        const std::string name = "case " + std::to_string(&c - cases) + ": " + c.configuration;
        FakeKernel kernel(c.generation);
        FakeDevice& port = addPort(kernel, "ttyAMA0");
        port.settings = c.start;
        const Lines expected = c.configuration[4] == '7' ? Lines{portWithoutMode(0), portNotFound(7)}
                               : c.set                   ? Lines{}
                                                         : Lines{portNotSet(0)};
        EXPECT_EQ(runPortStage(kernel, c.configuration), expected) << name;
        EXPECT_TRUE(sameSettings(port.settings, c.end)) << name << " flags 0x" << std::hex << port.settings.flags
                                                        << std::dec << " delays " << port.settings.delay_rts_before_send
                                                        << "/" << port.settings.delay_rts_after_send;
        if (sameSettings(c.start, c.end)) {
            EXPECT_EQ(port.sets, 0) << name << ": nothing to change, nothing written";
        }
    }

    // A driver that lists RS-422 on 6.8: the mode with termination kept.
    FakeKernel kernel(KernelGeneration::filtering, true);
    FakeDevice& port = addPort(kernel, "ttyS0");
    port.supported |= modeRs422Flag;
    port.settings = boot;
    EXPECT_EQ(runPortStage(kernel, "Port0=RS422\n"), Lines{});
    EXPECT_TRUE(sameSettings(port.settings, settings(on | modeRs422Flag | terminate, 3, 5, 0x12)));
}

TEST_F(LinuxPorts, AModeTheKernelDidNotKeepExactlyIsReportedAsFailed) {
    const std::string kept = "; the port is left as it was";
    const struct {
        const char* name;
        FakeDevice device;
        const char* configuration;
        Lines log;
        std::string why = {}; // the library's line for a refused mode
    } cases[] = {
        {"receiving during sending dropped", {.supported = on | rtsOnSend | rtsAfterSend}, "Port1=RS485-4W\n",
         {portNotSet(1)},
         "ttyS1: RS-485 four-wire not set: the driver cannot receive while sending (four-wire)" + kept},
        {"delay before sending dropped", {.delayBeforeSend = false, .settings = settings(rtsAfterSend)}, "Port1=RS485\n",
         {portNotSet(1)},
         "ttyS1: RS-485 two-wire not set: the driver did not keep the port's RTS delays or addresses" + kept},
        {"polarity the driver cannot hold", {.supported = on | rtsOnSend, .settings = settings(rtsAfterSend, 0, 0)},
         "Port1=RS485\n", {portNotSet(1)},
         "ttyS1: RS-485 two-wire not set: the driver cannot hold the port's RTS polarity" + kept},
        {"held exclusively by another program", {.exclusive = true}, "Port1=RS485\n", {portNotSet(1)},
         "ttyS1: RS-485 two-wire not set: another program holds the port"},
        {"i.MX: active-low RTS adds receiving to two-wire", {.activeLowRtsForcesReceiver = true,
         .settings = settings(rtsAfterSend, 1, 7)}, "Port1=RS485\n", {portNotSet(1)},
         "ttyS1: RS-485 two-wire not set: the driver receives while sending whatever it is told (no two-wire)" + kept},
        {"i.MX: two-wire asked of a port in four-wire", {.activeLowRtsForcesReceiver = true,
         .settings = settings(on | rxDuringTx | rtsAfterSend, 1, 7)}, "Port1=RS485-2W\n", {portNotSet(1)},
         "ttyS1: RS-485 two-wire not set: the driver receives while sending whatever it is told (no two-wire)" + kept},
        {"RS-422 of a driver that lists none: the core refuses the flag", {}, "Port1=RS422\n", {portNotSet(1)},
         "ttyS1: RS-422 not set: this driver has no RS-422 setting" + kept},
        {"i.MX: four-wire holds", {.activeLowRtsForcesReceiver = true, .settings = settings(rtsAfterSend, 1, 7)},
         "Port1=RS485-4W\n", {}},
        {"8250 on 6.1: RS-232 with RTS-on-send kept for later", {.rtsOnSendWhenOff = true,
         .settings = settings(on | rtsAfterSend, 2, 6)}, "Port1=RS232\n", {}},
        {"no valid polarity: the kernel's choice is taken", {.settings = settings(0, 0, 0)}, "Port1=RS485\n", {}},
        {"the read-back fails", {.readBackFails = true, .settings = settings(0, 0, 0)}, "Port1=RS485\n",
         {portNotSet(1)},
         "ttyS1: RS-485 two-wire not set: its settings cannot be read back: Input/output error"},
        {"no RS-485 driver: neither touched nor reported", {.rs485 = false}, "Port1=RS485\n", {portNotFound(1)}},
        {"a placeholder port: neither touched nor reported", {.placeholder = true}, "Port1=RS232\n", {portNotFound(1)}},
        {"cannot be opened: neither touched nor reported", {.openError = EACCES}, "Port1=RS485\n", {portNotFound(1)}},
    };
    for (const auto& c : cases) {
        FakeKernel kernel(KernelGeneration::filtering);
        FakeDevice& port = addPort(kernel, "ttyS1");
        port = c.device;
        const serial_rs485 before = port.settings;
        EXPECT_EQ(runPortStage(kernel, c.configuration), c.log) << c.name;
        EXPECT_EQ(refusals, c.why.empty() ? Lines{} : Lines{c.why}) << c.name;
        // A failure leaves the port in the mode it held: exactly as it was
        // where RS-485 was on, off again where it was off.
        if (c.log == Lines{portNotSet(1)}) {
            EXPECT_EQ(port.settings.flags & on, before.flags & on) << c.name;
            if (before.flags & on) {
                EXPECT_TRUE(sameSettings(port.settings, before)) << c.name;
            }
        }
        if (c.device.exclusive || !c.device.rs485 || c.device.placeholder) {
            EXPECT_EQ(port.sets, 0) << c.name;
        }
        EXPECT_EQ(kernel.openHandles, 0) << c.name;
    }
}

TEST_F(LinuxPorts, TheListShowsEachPortItsModeAndTheLineARunWouldApplyChangingNothing) {
    FakeKernel kernel(KernelGeneration::filtering);
    addPort(kernel, "ttyS1").settings = settings(on | rtsAfterSend, 2, 6);
    addPort(kernel, "ttyS2").settings = settings(on | rxDuringTx | rtsOnSend, 0, 0);
    addPort(kernel, "ttyS3").settings = settings(rtsAfterSend, 0, 0);
    addPort(kernel, "ttyS4").rs485 = false;
    addPort(kernel, "ttyS5").settings = settings(on | terminate | modeRs422Flag | rtsOnSend | rtsAfterSend, 1, 1);
    addTty("ttyS6", "4"); // cannot be opened
    // Termination: off where the device tree describes a line; the software
    // RS-485's flag without one means nothing.
    addPort(kernel, "ttyS7", "of_serial", false, true).settings = settings(rtsAfterSend, 0, 0);
    addPort(kernel, "ttyS8", "of_serial", false).settings = settings(on | rtsOnSend | terminate, 0, 0);
    writeFile(scratch / "ports.cfg", "[Ports]\nPort2=RS232\nPort1=rs485-4w\nPort1=RS422\nPort9=RS485\n");
    linuxports::SerialPorts ports(sysfs().string(), (scratch / "dev").string(), udevData().string(), kernel);
    EXPECT_EQ(linuxports::linuxPortList(ports, (scratch / "ports.cfg").string()),
              "DEVICE    PORT  RS-485  MODE        RTS   DELAYS  TERM  CONFIGURATION\n"
              "ttyS1     1     yes     RS485       low   2/6     none  line 3: RS485-4W\n"
              "ttyS2     2     yes     RS485-4W    high  0/0     none  line 2: RS232\n"
              "ttyS3     3     yes     RS-485 off  low   0/0     none  -\n"
              "ttyS4     4     no      -           -     -       -     -\n"
              "ttyS5     5     yes     RS422       none  1/1     on    -\n"
              "ttyS6     -     unusable -           -     -       -     -\n"
              "ttyS7     7     yes     RS-485 off  low   0/0     off   -\n"
              "ttyS8     8     yes     RS485       high  0/0     none  -\n"
              "Port 1 (line 4: RS422): no port takes it\n"
              "Port 9 (line 5: RS485): no port takes it\n");
    for (const auto& [path, device] : kernel.devices) EXPECT_EQ(device.sets, 0) << path;
    EXPECT_EQ(kernel.openHandles, 0);
    EXPECT_NE(linuxports::linuxPortList(ports, (scratch / "missing.cfg").string()).find("cannot be read"),
              std::string::npos);
}

TEST_F(LinuxPorts, NamesThatCouldReachOtherFilesNeverReachTheKernel) {
    FakeKernel kernel(KernelGeneration::filtering);
    addPort(kernel, "ttyS4");
    addPort(kernel, std::string(254, 'q') + "1");
    linuxports::SerialPorts ports(sysfs().string(), (scratch / "dev").string(), udevData().string(), kernel);
    EXPECT_TRUE(ports.location(std::string(254, 'q') + "1"));
    EXPECT_TRUE(ports.location("ttyS4"));
    // Each of these would open ttyS4 or a longer name if it reached the kernel.
    for (const std::string& name : {std::string("../dev/ttyS4"), std::string("./ttyS4"), std::string(255, 'q') + "1",
                                    std::string("ttyS4 "), std::string("")}) {
        EXPECT_FALSE(ports.location(name)) << name;
        EXPECT_FALSE(ports.setMode(name, 15).set) << name;
    }
    EXPECT_EQ(kernel.opens, 2);
}

TEST_F(LinuxPorts, AHeldPortIsLocatedAndSaidToBeHeldAsFromARootShellAndLeftAloneWhereInItsMode) {
    const std::string held = "ttyS1: RS-485 two-wire not set: another program holds the port";
    const struct {
        const char* name;
        bool exclusive, locked, capSysAdmin;
        std::uint32_t flags; // the port's mode now
        const char* configuration;
        Lines log;
        Lines said;
    } cases[] = {
        {"exclusive, root shell", true, false, true, 0, "Port1=RS485\n", {portNotSet(1)}, {held}},
        {"exclusive, unit", true, false, false, 0, "Port1=RS485\n", {portNotSet(1)}, {held}},
        {"exclusive, unit, no line for it", true, false, false, 0, "", {portWithoutMode(1)}, {}},
        {"exclusive, root shell, in its mode", true, false, true, on, "Port1=RS485\n", {}, {}},
        {"locked, in its mode", false, true, false, on, "Port1=RS485\n", {}, {}},
        {"locked", false, true, false, 0, "Port1=RS485\n", {portNotSet(1)}, {held}},
    };
    for (const auto& c : cases) {
        FakeKernel kernel(KernelGeneration::filtering);
        kernel.capSysAdmin = c.capSysAdmin;
        FakeDevice& port = addPort(kernel, "ttyS1");
        port.exclusive = c.exclusive;
        port.locked = c.locked;
        port.settings = settings(c.flags | rtsOnSend);
        EXPECT_EQ(runPortStage(kernel, c.configuration), c.log) << c.name;
        EXPECT_EQ(refusals, c.said) << c.name;
        EXPECT_EQ(port.sets, 0) << c.name;
    }
}

TEST_F(LinuxPorts, ARunForAPortThatAppearedOpensOnlyItAndPortsNoRunOfThisBootHandled) {
    FakeKernel kernel(KernelGeneration::filtering);
    kernel.capSysAdmin = false; // as the units run
    FakeDevice& held = addPort(kernel, "ttyS1");
    FakeDevice& refused = addPort(kernel, "ttyS2");
    refused.supported = on | rtsOnSend | rtsAfterSend;
    const std::string records = (scratch / "run" / "skarvelconfig" / "ports").string();
    const std::string configuration = "Port1=RS485\nPort2=RS485-4W\nPort3=RS485\nPort4=RS232\n";
    const Lines boot = runPortStage(kernel, configuration, scope(records));
    EXPECT_EQ(boot, (Lines{portNotSet(2), portNotFound(3), portNotFound(4)}));
    const Lines bootSaid = refusals;

    // Another program takes ttyS1 and lowers DTR and RTS; then ttyS3 appears.
    held.lines = 0;
    const int opened = kernel.opens;
    addPort(kernel, "ttyS3");
    EXPECT_EQ(runPortStage(kernel, configuration, scope(records, "ttyS3")), (Lines{portNotSet(2), portNotFound(4)}))
        << "the whole machine's log";
    EXPECT_EQ(refusals, bootSaid) << "the refusal as it was found";
    EXPECT_EQ(kernel.opens, opened + 1) << "only the new port opened";
    EXPECT_EQ(held.lines, 0);

    // A line changed since: that port is opened again, and says so in its lines.
    EXPECT_EQ(runPortStage(kernel, "Port1=RS485-4W\nPort2=RS485-4W\n", scope(records, "ttyS4")),
              (Lines{portNotSet(2), portWithoutMode(3)}));
    EXPECT_TRUE(sameSettings(held.settings, settings(on | rxDuringTx | rtsOnSend, 0, 0)));
    EXPECT_EQ(kernel.opens, opened + 2);
    // A whole run opens every port again.
    runPortStage(kernel, configuration, scope(records));
    EXPECT_EQ(kernel.opens, opened + 5);
    // One it could not open is opened again later, not answered as it was before.
    held.openError = EIO;
    runPortStage(kernel, configuration, scope(records));
    held.openError = 0;
    const int reopened = kernel.opens;
    EXPECT_EQ(runPortStage(kernel, configuration, scope(records, "ttyS5")), (Lines{portNotSet(2), portNotFound(4)}));
    EXPECT_EQ(kernel.opens, reopened + 1);
}

TEST_F(LinuxPorts, UdevGivesNumbersAndIsWaitedForAndTwoPortsWithOneNumberAreSaid) {
    FakeKernel kernel(KernelGeneration::filtering);
    fs::create_directories(udevData());
    const struct {
        const char* name;
        const char* properties; // none: udev has not finished with it
    } ports[] = {
        {"ttyAMA0", "E:SKARVELCONFIG_PORT=7\n"}, {"ttyS0", ""}, {"ttyS1", "E:SKARVELCONFIG_PORT=x1\n"},
        {"ttyS2", nullptr}, {"ttyS3", "E:SKARVELCONFIG_PORT=4294967296\n"}, {"ttyS4", "E:SKARVELCONFIG_PORT=0\n"},
    };
    for (const auto& port : ports) {
        addPort(kernel, port.name);
        const std::string number = "4:" + std::to_string(&port - ports);
        writeFile(sysfs() / port.name / "dev", number + "\n");
        if (port.properties) writeFile(udevData() / ("c" + number), std::string("I:1\n") + port.properties);
    }
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(runPortStage(kernel, "Port7=RS485\nPort0=RS485\nPort0=RS485\n",
                           scope("", "", std::chrono::milliseconds(300))),
              (Lines{portWithoutMode(1), portWithoutMode(3)}));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    EXPECT_EQ(refusals, (Lines{"ttyS2: left alone: udev has not finished with it (no entry in its database after 0.3 s)",
                               "ttyS1: SKARVELCONFIG_PORT=x1 is not a port number (decimal digits); the number in its "
                               "name counts",
                               "ttyS3: SKARVELCONFIG_PORT=4294967296 is not a port number (decimal digits); the "
                               "number in its name counts",
                               "Port 0: ttyS0 and ttyS4 both take it (a udev rule setting SKARVELCONFIG_PORT gives "
                               "each its own)"}));
    EXPECT_EQ(kernel.devices.at((scratch / "dev" / "ttyS2").string()).sets, 0);
    EXPECT_EQ(kernel.devices.at((scratch / "dev" / "ttyAMA0").string()).settings.flags & on, on);

    // An entry the initramfs wrote, while udev's queue holds the event whose
    // rules keep the port away.
    writeFile(udevData() / "c4:3", "I:1\n");
    writeFile(udevData() / ".." / "queue", "");
    std::thread udev([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        writeFile(udevData() / "c4:3", "I:1\nE:SKARVELCONFIG_IGNORE=1\n");
        fs::remove(udevData() / ".." / "queue");
    });
    const int opens = kernel.opens;
    runPortStage(kernel, "", scope("", "", std::chrono::seconds(5)));
    udev.join();
    EXPECT_EQ(kernel.opens - opens, 5) << "ttyS2 kept away by the rule udev applied last";
}

// Termination as the administrator wires it (udev's SKARVELCONFIG_TERMINATION),
// on the termination line's level as the serial core drives it.
TEST_F(LinuxPorts, TerminationIsSwitchedAsWiredAndNeverLeftOnInRs232) {
    const std::string term = "E:SKARVELCONFIG_TERMINATION=";
    const struct {
        const char* name;
        KernelGeneration generation;
        const char* driver;
        bool line;            // rs485-term-gpios in the device tree
        std::uint32_t listed; // the driver's own flags besides the mode's
        std::string properties;
        serial_rs485 start;
        bool terminatedAtStart;
        const char* configuration;
        std::string why; // the library's line, where the mode is refused
        std::uint32_t end;
        bool terminatedAtEnd;
    } cases[] = {
        {"switched on with RS-485", KernelGeneration::filtering, "of_serial", true, terminate, term + "1\n",
         settings(rtsAfterSend), false, "Port1=RS485\n", "", on | rtsAfterSend | terminate, true},
        {"switched off with RS-485 kept on", KernelGeneration::filtering, "imx-uart", true, terminate, term + "0\n",
         settings(on | rtsAfterSend | terminate), true, "Port1=RS485-4W\n", "", on | rtsAfterSend | rxDuringTx, false},
        {"RS-232: off first, then RS-485", KernelGeneration::filtering, "of_serial", true, terminate, term + "1\n",
         settings(on | rtsAfterSend | terminate), true, "Port1=RS232\n", "", 0, false},
        {"RS-232 without the property: off all the same", KernelGeneration::filtering, "of_serial", true,
         terminate, "", settings(on | rtsAfterSend | terminate), true, "Port1=RS232\n", "", 0, false},
        {"without the property kept as it is", KernelGeneration::filtering, "of_serial", true, terminate, "",
         settings(on | rtsAfterSend | terminate), true, "Port1=RS485-4W\n", "",
         on | rtsAfterSend | rxDuringTx | terminate, true},
        {"no line where the software RS-485 keeps the flag anyway", KernelGeneration::filtering, "of_serial", false,
         terminate, term + "1\n", settings(rtsAfterSend), false, "Port1=RS485\n",
         "the port has no bus termination line (no rs485-term-gpios in its device tree)", rtsAfterSend, false},
        {"a driver without termination drops it", KernelGeneration::filtering, "uart-pl011", false, 0, term + "1\n",
         settings(rtsAfterSend), false, "Port1=RS485\n", "the port has no bus termination to switch on", 0, false},
        {"a kernel before 6.0 cannot confirm it", KernelGeneration::unfiltered, "of_serial", true, terminate,
         term + "1\n", settings(rtsAfterSend), false, "Port1=RS485\n",
         "this kernel cannot confirm it (Linux 6.0 and later can)", rtsAfterSend, false},
        {"a value that is neither 1 nor 0 keeps it", KernelGeneration::filtering, "of_serial", true, terminate,
         term + "yes\n", settings(on | rtsAfterSend | terminate), true, "Port1=RS485-4W\n", "",
         on | rtsAfterSend | rxDuringTx | terminate, true},
    };
    for (const auto& c : cases) {
        FakeKernel kernel(c.generation);
        fs::remove_all(scratch / "sys");
        FakeDevice& port = addPort(kernel, "ttyS1", c.driver, false, c.line, c.properties);
        port.supported = on | rtsOnSend | rtsAfterSend | rxDuringTx | c.listed;
        port.settings = c.start;
        port.terminated = c.terminatedAtStart;
        Lines said;
        if (c.properties == term + "yes\n") said.push_back("ttyS1: SKARVELCONFIG_TERMINATION=yes is neither 1 nor 0; "
                                                          "its termination is kept as it is");
        if (!c.why.empty()) said.push_back("ttyS1: RS-485 two-wire not set: " + c.why + "; the port is left as it was");
        EXPECT_EQ(runPortStage(kernel, c.configuration), c.why.empty() ? Lines{} : Lines{portNotSet(1)}) << c.name;
        EXPECT_EQ(refusals, said) << c.name;
        EXPECT_EQ(port.settings.flags, c.end) << c.name;
        EXPECT_EQ(port.terminated, c.terminatedAtEnd) << c.name;
    }
}

// USB adapters: one whose driver takes RS-485 settings is a port like the
// others; the others are never opened. What each driver can do instead is said.
TEST_F(LinuxPorts, UsbAdaptersOfAnRs485DriverAreSetAndTheOthersNeverOpened) {
    FakeKernel kernel(KernelGeneration::filtering, true);
    FakeDevice& xr = addPort(kernel, "ttyUSB0", "xr_serial", true, false, "E:SKARVELCONFIG_PORT=20\n");
    xr.xrSerial = true;
    addPort(kernel, "ttyUSB1", "ftdi_sio", true);
    addPort(kernel, "ttyACM0", "cdc_acm", true);
    addPort(kernel, "ttyAMA0", "uart-pl011", false);
    addPort(kernel, "ttyS4", "exar_serial", false);
    const struct {
        const char* configuration;
        Lines log;
        Lines said;
        std::uint32_t usbFlags;
    } runs[] = {
        {"Port20=RS485\nPort0=RS485\nPort4=RS485\n", {}, {}, on | rtsAfterSend},
        {"Port20=RS485-4W\nPort0=RS422\nPort4=RS422\n", {portNotSet(0), portNotSet(4), portNotSet(20)},
         {"ttyAMA0: RS-422 not set: this driver has no RS-422 setting; it can do RS485-4W; the port is left as it was",
          "ttyS4: RS-422 not set: this driver has no RS-422 setting; on a board whose 8250_exar code selects the "
          "RS-422 transceiver with four-wire, RS485-4W does; the port is left as it was",
          "ttyUSB0: RS-485 four-wire not set: the driver cannot receive while sending (four-wire); it can do RS485 "
          "(two-wire) only; the port is left as it was"},
         on | rtsAfterSend},
        {"Port20=RS422\n", {portWithoutMode(0), portWithoutMode(4), portNotSet(20)},
         {"ttyUSB0: RS-422 not set: this driver has no RS-422 setting; it can do RS485 (two-wire) only; the port is "
          "left as it was"},
         on | rtsAfterSend},
        {"Port20=RS232\n", {portWithoutMode(0), portWithoutMode(4)}, {}, 0},
    };
    for (const auto& run : runs) {
        EXPECT_EQ(runPortStage(kernel, run.configuration), run.log) << run.configuration;
        EXPECT_EQ(refusals, run.said) << run.configuration;
        EXPECT_EQ(xr.settings.flags, run.usbFlags) << run.configuration;
    }
    for (const char* away : {"ttyUSB1", "ttyACM0"}) {
        EXPECT_EQ(kernel.devices.at((scratch / "dev" / away).string()).lines, 0) << away << " never opened";
    }

    // Debian 12's xr_serial takes no RS-485 settings: not configurable.
    xr.rs485 = false;
    EXPECT_EQ(runPortStage(kernel, "Port20=RS485\n"), (Lines{portWithoutMode(0), portWithoutMode(4), portNotFound(20)}));
}

TEST(KernelGenerations, AreToldFromTheRelease) {
    const struct {
        const char* release;
        KernelGeneration generation;
    } cases[] = {
        {"4.19.0-27-arm64", KernelGeneration::unfiltered}, {"5.10.0-32-arm64", KernelGeneration::unfiltered},
        {"6.0.0", KernelGeneration::filtering},            {"6.1.0-28-arm64", KernelGeneration::filtering},
        {"6.7.12", KernelGeneration::filtering},           {"6.8.0-45-generic", KernelGeneration::filtering},
        {"6.12.95+deb12-arm64", KernelGeneration::filtering}, {"10.1", KernelGeneration::filtering},
        {"6", KernelGeneration::unfiltered},               {"", KernelGeneration::unfiltered},
    };
    for (const auto& c : cases) EXPECT_EQ(linuxports::generationOfRelease(c.release), c.generation) << c.release;
}

TEST(LinuxDeviceAccess, OpensWithoutWaitingAndRespectsAnotherProgramsHold) {
    // A pseudo-terminal: a real tty of the running kernel, without RS-485.
    int controller = -1, terminal = -1;
    char path[256] = {};
    ASSERT_EQ(openpty(&controller, &terminal, path, nullptr, nullptr), 0);
    linuxports::LinuxDeviceAccess kernel;
    const int handle = kernel.open(path);
    ASSERT_GE(handle, 0);
    EXPECT_TRUE(fcntl(handle, F_GETFL) & O_NONBLOCK) << "a port waiting for carrier must not hold up the run";
    EXPECT_EQ(kernel.setRs485(handle, nullptr), -ENOTTY);
    EXPECT_TRUE(kernel.claim(handle));
    kernel.close(handle);

    // Another program's lock, then its exclusive mode: both refuse the claim.
    const int locked = kernel.open(path);
    ASSERT_EQ(flock(terminal, LOCK_EX), 0);
    EXPECT_FALSE(kernel.claim(locked));
    ASSERT_EQ(flock(terminal, LOCK_UN), 0);
    ASSERT_EQ(ioctl(terminal, TIOCEXCL), 0);
    EXPECT_FALSE(kernel.claim(locked));
    kernel.close(locked);
    EXPECT_EQ(kernel.open("/nonexistent/ttyS0"), -ENOENT);

    // A session leader without a terminal, as a unit starting the program
    // directly is: opening the port must not make it its controlling terminal.
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const int opened = kernel.open(path);
        _exit(opened >= 0 && ::open("/dev/tty", O_RDWR | O_NOCTTY) < 0 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the port became the controlling terminal";
    close(terminal);
    close(controller);
}
