// The serial device's opening and closing against a recorded operating system, USB adapters, and
// the device over a real pseudo-terminal. The settings rules are in device_settings_test.cpp.
#include "fake_sysfs.h"
#include "link/com_port_map.h"
#include "link/usb_serial_adapter.h"
#include "link/vnx_comm_device.h"
#include "mock_serial_system.h"
#include "support/scripted_peer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace aurex {
namespace {

using test::MockSerialSystem;
using ::testing::_;
using ::testing::AllOf;
using ::testing::Field;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::Throw;
namespace fs = std::filesystem;

MATCHER_P(BaudIs, rate, "")
{
    return arg.baudRate == rate;
}

TEST(SerialDevice, OpenPortAppliesTheLinkSettingsAndClosesOnDestruction)
{
    NiceMock<MockSerialSystem> os;
    os.AcceptEverything();
    test::ScopedComOverride com(7, "/dev/aurex-test-device");
    auto device = std::make_unique<VNXCommDeviceSerial>(os);
    EXPECT_EQ(device->DeviceKind(), 2);
    EXPECT_CALL(os, Open("/dev/aurex-test-device"));
    EXPECT_CALL(os, Configure(7, AllOf(BaudIs(19200), Field(&SerialConfig::dataBits, 8),
                                       Field(&SerialConfig::parity, SerialParity::None),
                                       Field(&SerialConfig::stopBits, SerialStopBits::One),
                                       Field(&SerialConfig::ctsOutputFlow, false))))
        .Times(::testing::AtLeast(1));
    ASSERT_TRUE(device->OpenPort(7, 14, false));
    EXPECT_EQ(device->Port().GetPortName(), "\\\\.\\COM7");
    const SerialTimeouts& t = device->Port().Timeouts();
    EXPECT_EQ(t.readInterval, 2000u);
    EXPECT_EQ(t.readTotalMultiplier, 2000u);
    EXPECT_EQ(t.readTotalConstant, 0u);
    EXPECT_EQ(t.writeTotalMultiplier, 2000u);
    EXPECT_EQ(t.writeTotalConstant, 0u);
    EXPECT_CALL(os, Close(7)).Times(1);
    device.reset();
}

TEST(SerialDevice, OpenFailuresKeepTheirKindAndNeverOpenedPortsCloseQuietly)
{
    NiceMock<MockSerialSystem> os;
    EXPECT_CALL(os, Close(_)).Times(0);
    {
        VNXWinExtSerialPort never(os);
        EXPECT_EQ(never.Close(), 0);
    }
    EXPECT_CALL(os, Open(_))
        .WillOnce(
            Return(SerialOpenResult{kNoSerialHandle, PortOpenResult::PermissionDenied, "Permission denied"}));
    VNXCommDeviceSerial device(os);
    EXPECT_EQ(device.Open(), -1);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.Port().OpenResult(), PortOpenResult::PermissionDenied);
    EXPECT_FALSE(device.CharReady());
}

// ttyUSB0 (usb-serial, also through a by-id link), ttyACM0 (usb), ttyS0 (platform) and ttyUSB9
// (no sysfs entry) beside a fake sysfs.
struct AdapterTree
{
    test::FakeSysfs sys;
    fs::path dev = sys.root / "dev";
    AdapterTree()
    {
        sys.AddTty("ttyUSB0", "usb-serial");
        sys.AddTty("ttyACM0", "usb");
        sys.AddTty("ttyS0", "platform");
        fs::create_directories(dev / "by-id");
        for (const char* name : {"ttyUSB0", "ttyACM0", "ttyS0", "ttyUSB9"}) {
            std::ofstream(dev / name).put('\n');
        }
        fs::create_symlink("../ttyUSB0", dev / "by-id" / "usb-FTDI");
    }
};

TEST(UsbAdapter, LowLatencyAskedOfAdaptersOnlyAndPutBackByTheCloseOfEveryOpen)
{
    AdapterTree t;
    const std::tuple<const char*, LowLatencyResult, bool, const char*> cases[] = {
        {"by-id/usb-FTDI", LowLatencyResult::Set(), false, "low latency: set"},
        {"ttyACM0", LowLatencyResult::AlreadyOn(), false, "low latency: already on"},
        {"ttyUSB0", LowLatencyResult::Refused("Invalid argument"), false,
         "low latency: refused: Invalid argument"},
        {"ttyS0", LowLatencyResult::Set(), false, "low latency: not asked"},
        {"ttyUSB9", LowLatencyResult::Set(), false, "low latency: not asked"}, // no sysfs entry
        {"ttyUSB0", LowLatencyResult::Set(), true, "low latency: set"},        // the settings fail after it
    };
    for (const auto& [name, answer, settingsFail, text] : cases) {
        NiceMock<MockSerialSystem> os;
        os.AcceptEverything();
        ON_CALL(os, RequestLowLatency(7)).WillByDefault(Return(answer));
        if (settingsFail) {
            ON_CALL(os, Configure(_, _)).WillByDefault(Throw(std::runtime_error("device gone")));
        }
        VNXWinExtSerialPort port(os);
        port.SetSysfsRoot(t.sys.root);
        port.SetPortName((t.dev / name).string());
        InSequence order;
        const bool adapter = std::string(text) != "low latency: not asked";
        EXPECT_EQ(IsUsbSerialAdapter((t.dev / name).string(), t.sys.root), adapter) << name;
        EXPECT_CALL(os, RequestLowLatency(7)).Times(adapter ? 1 : 0);
        EXPECT_CALL(os, Close(7)); // the system puts back what it set
        if (settingsFail) {
            EXPECT_THROW(port.Open(), std::runtime_error);
        } else {
            EXPECT_TRUE(port.Open());
        }
        EXPECT_EQ(port.IsOpen(), !settingsFail) << name; // a failed open closed itself
        EXPECT_EQ(LowLatencyText(port.LowLatency()), text) << name;
    }
}

TEST(SerialDeviceOnPty, APseudoTerminalRefusesLowLatencyAndStillCarriesBytes)
{
    test::PtyPair pty;
    test::FakeSysfs sys; // the pseudo-terminal posing as an adapter
    sys.AddTty(fs::path(pty.DevicePath()).filename().string(), "usb-serial");
    test::ScopedComOverride com(9, pty.DevicePath());
    VNXCommDeviceSerial device;
    device.Port().SetSysfsRoot(sys.root);
    ASSERT_TRUE(device.OpenPort(9, 19, false));
    EXPECT_EQ(LowLatencyText(device.Port().LowLatency()),
              "low latency: refused: " + std::string(std::strerror(ENOTTY)));
    EXPECT_FALSE(PlatformSerialSystem().OffersRs485(device.Port().Handle()));
    test::ScriptedPeer peer(pty, [](test::PeerIo& io) { io.Expect({0x01, 0x7E}); });
    const std::uint8_t out[2] = {0x01, 0x7E};
    EXPECT_EQ(device.Write(out, 2), 2);
    peer.Join();
    EXPECT_THAT(peer.Failures(), ::testing::IsEmpty());
}

TEST(SerialDeviceOnPty, CarriesBytesBothWaysAndClosesWhenThePeerVanishes)
{
    test::PtyPair pty;
    test::ScopedComOverride com(9, pty.DevicePath());
    VNXCommDeviceSerial device;
    ASSERT_TRUE(device.OpenPort(9, 19, false));
    // A pseudo-terminal has no RTS line: said, and not fatal.
    EXPECT_FALSE(device.Port().LastRefusal().empty());
    EXPECT_TRUE(device.IsOpen());

    // The same device cannot be opened twice.
    VNXCommDeviceSerial second;
    EXPECT_FALSE(second.OpenPort(9, 19, false));
    EXPECT_EQ(second.Port().OpenResult(), PortOpenResult::InUse);

    test::ScriptedPeer peer(pty, [](test::PeerIo& io) {
        io.Expect({0x01, 0x02, 0x7E});
        io.Write({0xAA, 0x55});
    });
    const std::uint8_t out[3] = {0x01, 0x02, 0x7E};
    EXPECT_EQ(device.Write(out, 3), 3);
    peer.Join();
    EXPECT_THAT(peer.Failures(), ::testing::IsEmpty());

    std::vector<std::uint8_t> in;
    for (int spins = 0; in.size() < 2 && spins < 2000; ++spins) {
        std::uint8_t c = 0;
        if (device.CharReady() && device.ReadChar(c) == 1) {
            in.push_back(c);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_EQ(in, (std::vector<std::uint8_t>{0xAA, 0x55}));

    EXPECT_TRUE(device.CheckConnection());
    pty.ClosePeer();
    EXPECT_FALSE(device.CheckConnection());
    EXPECT_FALSE(device.IsOpen());
}

TEST(SerialDeviceOnPty, WaitingForInputEndsWithTheFirstByteOrTheTimeOut)
{
    test::PtyPair pty;
    test::ScopedComOverride com(9, pty.DevicePath());
    VNXCommDeviceSerial device;
    ASSERT_TRUE(device.OpenPort(9, 19, false));
    SerialSystem& os = PlatformSerialSystem();
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(os.WaitForInput(device.WaitHandle(), 60));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));

    test::ScriptedPeer peer(pty, [](test::PeerIo& io) { io.Write({0x5A}); });
    EXPECT_TRUE(os.WaitForInput(device.WaitHandle(), 5000));
    peer.Join();
    std::uint8_t c = 0;
    EXPECT_EQ(device.ReadChar(c), 1);
    EXPECT_EQ(c, 0x5A);
}

TEST(SerialDeviceOnPty, MissingDevicesAreNotPresent)
{
    test::ScopedComOverride com(11, "/dev/aurex-no-such-device");
    VNXCommDeviceSerial device;
    EXPECT_FALSE(device.OpenPort(11, 14, false));
    EXPECT_EQ(device.Port().OpenResult(), PortOpenResult::NotPresent);
    EXPECT_EQ(device.Port().DevicePath(), "/dev/aurex-no-such-device");
}

} // namespace
} // namespace aurex
