// The Linux port library against a made-up sysfs tree and a stand-in kernel.

#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "linuxports/serial_port_library.h"
#include "support/program_runner.h"

using namespace testing_support;
using linuxports::modeRs422Flag;

namespace {

// How the stand-in kernel treats one device.
struct FakeDevice {
    int openError = 0;     // errno of open, 0: opens
    int getError = 0;      // errno of TIOCGRS485
    int setError = 0;      // errno of TIOCSRS485
    std::uint32_t supported = SER_RS485_ENABLED | SER_RS485_RX_DURING_TX | SER_RS485_RTS_ON_SEND |
                              SER_RS485_RTS_AFTER_SEND | SER_RS485_TERMINATE_BUS;
    bool flipRts = false;  // the kernel turns RTS polarity round on every set
    serial_rs485 settings{};
    int sets = 0;
};

class FakeKernel final : public linuxports::DeviceAccess {
public:
    int open(const std::string& path) override {
        const auto found = devices.find(path);
        if (found == devices.end()) return -ENOENT;
        if (found->second.openError) return -found->second.openError;
        handles.push_back(path);
        ++openHandles;
        return static_cast<int>(handles.size() - 1);
    }
    int getRs485(int handle, serial_rs485& settings) override {
        FakeDevice& device = devices.at(handles.at(static_cast<std::size_t>(handle)));
        if (device.getError) return -device.getError;
        settings = device.settings;
        return 0;
    }
    int setRs485(int handle, serial_rs485& settings) override {
        FakeDevice& device = devices.at(handles.at(static_cast<std::size_t>(handle)));
        if (device.setError) return -device.setError;
        // Like the serial core: what the driver cannot do is dropped; off means all off.
        serial_rs485 kept = settings;
        kept.flags &= device.supported;
        if (!(kept.flags & SER_RS485_ENABLED)) kept = serial_rs485{};
        if (device.flipRts) kept.flags ^= SER_RS485_RTS_ON_SEND | SER_RS485_RTS_AFTER_SEND;
        device.settings = kept;
        settings = kept;
        ++device.sets;
        return 0;
    }
    void close(int) override { --openHandles; }

    std::map<std::string, FakeDevice> devices;
    std::vector<std::string> handles;
    int openHandles = 0;
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
    FakeDevice& addPort(const std::string& name) {
        addTty(name, "4");
        return kernel.devices[(scratch / "dev" / name).string()];
    }

    fs::path sysfs() const { return scratch / "sys" / "class" / "tty"; }
    linuxports::SerialPortLibrary library() { return {sysfs().string(), (scratch / "dev").string(), kernel}; }

    ScratchDir scratch;
    FakeKernel kernel;
};

} // namespace

TEST_F(LinuxPorts, EnumeratesSerialCorePortsByFamilyThenNumber) {
    addTty("ttyS10", "4");
    addTty("ttyS2", "4");
    addTty("ttyAMA0", "32");
    addTty("ttyS0", "0");            // an 8250 placeholder: no hardware
    addTty("ttyS1", "0");
    addTty("tty5", nullptr, false);  // a virtual console: no device
    addTty("ttyUSB0", nullptr);      // a device, but not a serial-core port
    addTty("ttyX", "4");             // no number: listed, first of its family
    addTty("ttyX3", "4");
    addTty(std::string(255, 'n'), "4");
    EXPECT_EQ(library().scanPorts(),
              (std::vector<std::string>{std::string(255, 'n'), "ttyAMA0", "ttyS2", "ttyS10", "ttyX", "ttyX3"}));

    auto ports = library();
    std::string name;
    ASSERT_TRUE(ports.portName(0, name));
    EXPECT_EQ(name, std::string(255, 'n'));
    ASSERT_TRUE(ports.portName(3, name));
    EXPECT_EQ(name, "ttyS10");
    EXPECT_FALSE(ports.portName(6, name));
    EXPECT_FALSE(ports.portName(-1, name));
}

TEST_F(LinuxPorts, NoSysfsMeansNoPorts) {
    linuxports::SerialPortLibrary ports((scratch / "missing").string(), "/dev", kernel);
    std::string name;
    EXPECT_FALSE(ports.portName(0, name));
}

TEST_F(LinuxPorts, LocationTellsConfigurablePortsByTheirDriver) {
    addPort("ttyS4");
    addPort("ttyS5").getError = ENOTTY;
    addPort("ttyS6").setError = ENOTTY;
    addPort("ttyS7").setError = EINVAL;
    addPort("ttyS8").openError = EACCES;
    addPort("ttyAMA2147483647");
    addPort("ttyAMA2147483648");
    addPort("ttyX");
    const struct {
        std::string name;
        bool found;
        std::int32_t qualifier, number;
    } cases[] = {
        {"ttyS4", true, 0, 4},
        {"ttyS5", true, 1, 5},
        {"ttyS6", true, 1, 6},
        {"ttyS7", true, 1, 7},
        {"ttyS8", false, 0, 0},          // cannot be opened
        {"ttyS9", false, 0, 0},          // no such device
        {"ttyX", false, 0, 0},           // no number at the end
        {"ttyAMA2147483647", true, 0, INT32_MAX},
        {"ttyAMA2147483648", false, 0, 0}, // beyond 32 bits
        {"../ttyS4", false, 0, 0},
        {"", false, 0, 0},
        {std::string(256, 'n') + "1", false, 0, 0},
    };
    auto ports = library();
    for (const auto& c : cases) {
        std::int32_t qualifier = -7, number = -7;
        EXPECT_EQ(ports.location(c.name, qualifier, number), c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(qualifier, c.qualifier) << c.name;
            EXPECT_EQ(number, c.number) << c.name;
        }
    }
    EXPECT_EQ(kernel.openHandles, 0) << "every device closed again";
}

TEST_F(LinuxPorts, EachModeSetsItsFlagsAndKeepsRtsAndDelays) {
    const struct {
        std::int32_t mode;
        std::uint32_t flags;
    } cases[] = {
        {15, SER_RS485_ENABLED | SER_RS485_RTS_AFTER_SEND | SER_RS485_TERMINATE_BUS},
        {11, SER_RS485_ENABLED | SER_RS485_RX_DURING_TX | SER_RS485_RTS_AFTER_SEND | SER_RS485_TERMINATE_BUS},
        {1, SER_RS485_ENABLED | modeRs422Flag | SER_RS485_RTS_AFTER_SEND | SER_RS485_TERMINATE_BUS},
        {0, 0},
    };
    for (const auto& c : cases) {
        FakeDevice& port = addPort("ttyS1");
        port.supported |= modeRs422Flag;
        port.settings.flags = SER_RS485_ENABLED | SER_RS485_RX_DURING_TX | SER_RS485_RTS_AFTER_SEND |
                              SER_RS485_TERMINATE_BUS;
        port.settings.delay_rts_before_send = 3;
        port.settings.delay_rts_after_send = 5;
        EXPECT_TRUE(library().setMode("ttyS1", c.mode)) << c.mode;
        EXPECT_EQ(port.settings.flags, c.flags) << c.mode;
        if (c.mode != 0) {
            EXPECT_EQ(port.settings.delay_rts_before_send, 3u) << c.mode;
            EXPECT_EQ(port.settings.delay_rts_after_send, 5u) << c.mode;
        }
    }
}

TEST_F(LinuxPorts, AModeIsReportedSetOnlyWhenTheKernelKeptIt) {
    const struct {
        const char* name;
        std::int32_t mode;
        FakeDevice device;
        bool set;
    } cases[] = {
        {"ENOTTY on reading", 15, {0, ENOTTY}, false},
        {"EINVAL on setting", 15, {0, 0, EINVAL}, false},
        {"EIO on setting", 11, {0, 0, EIO}, false},
        {"no such device", 15, {ENOENT}, false},
        {"RS-422 dropped by the driver", 1, {}, false},
        {"four-wire dropped to two-wire", 11, {0, 0, 0, SER_RS485_ENABLED}, false},
        {"RTS turned round: still the mode asked for", 15, {0, 0, 0, FakeDevice{}.supported, true}, true},
        {"RS-232 on a driver without RS-485 settings", 0, {0, 0, ENOTTY}, false},
        {"an unknown mode code", 7, {}, false},
        {"two-wire", 15, {}, true},
    };
    for (const auto& c : cases) {
        kernel.devices.clear();
        addTty("ttyS3", "4");
        if (c.device.openError != ENOENT) kernel.devices[(scratch / "dev" / "ttyS3").string()] = c.device;
        EXPECT_EQ(library().setMode("ttyS3", c.mode), c.set) << c.name;
        EXPECT_EQ(kernel.openHandles, 0) << c.name;
    }
}

TEST_F(LinuxPorts, NamesOfTheLongestLengthsAreHandledSafely) {
    // 255 characters: the longest a device name can be.
    addPort(std::string(254, 'q') + "1");
    auto ports = library();
    std::int32_t qualifier = 0, number = 0;
    EXPECT_TRUE(ports.location(std::string(254, 'q') + "1", qualifier, number));
    EXPECT_EQ(number, 1);
    EXPECT_TRUE(ports.setMode(std::string(254, 'q') + "1", 15));
    // 256 characters, as a full name buffer hands it over: no device can have it.
    EXPECT_FALSE(ports.location(std::string(255, 'p') + "1", qualifier, number));
    EXPECT_FALSE(ports.setMode(std::string(255, 'p') + "1", 15));
    EXPECT_EQ(kernel.handles.size(), 2u) << "the 256-character name never reaches the kernel";
}
