// The device classes' settings rules and results, against a recorded operating system, and the
// serial device over a real pseudo-terminal.
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

class DeviceSettings : public ::testing::Test
{
  protected:
    DeviceSettings() { os.AcceptEverything(); }

    NiceMock<MockSerialSystem> os;
    VNXWinExtSerialPort port{os};
};

TEST_F(DeviceSettings, BaudCodeAliasesStoreTheirFirstCodeAndSetTheTableRate)
{
    ASSERT_TRUE(port.Open());
    EXPECT_CALL(os, Configure(7, BaudIs(1200)));
    EXPECT_TRUE(port.SetBaudCode(9));
    EXPECT_EQ(port.GetBaudCode(), 8);

    EXPECT_CALL(os, Configure(7, BaudIs(57600)));
    EXPECT_TRUE(port.SetBaudCode(18));
    EXPECT_EQ(port.GetBaudCode(), 17);

    EXPECT_CALL(os, Configure(7, BaudIs(110)));
    port.SetBaudCode(4);
    EXPECT_EQ(port.GetBaudCode(), 2);

    // Above the table: kept, but the line stays at its rate.
    EXPECT_CALL(os, Configure(_, _)).Times(0);
    port.SetBaudCode(30);
    EXPECT_EQ(port.GetBaudCode(), 30);
    EXPECT_EQ(port.Config().baudRate, 110);
}

TEST_F(DeviceSettings, DataAndStopBitCombinationsThatCannotExistAreRefused)
{
    ASSERT_TRUE(port.Open());
    // One and a half stop bits with 8 data bits: neither stored nor applied.
    EXPECT_CALL(os, Configure(_, _)).Times(0);
    EXPECT_FALSE(port.SetStopBitsCode(1));
    EXPECT_EQ(port.GetStopBitsCode(), 0);
    ::testing::Mock::VerifyAndClearExpectations(&os);

    // With 5 data bits it is applied.
    EXPECT_TRUE(port.SetDataBitsCode(0));
    EXPECT_CALL(os, Configure(7, AllOf(Field(&SerialConfig::dataBits, 5),
                                       Field(&SerialConfig::stopBits, SerialStopBits::OneAndHalf))));
    EXPECT_TRUE(port.SetStopBitsCode(1));
    EXPECT_EQ(port.GetStopBitsCode(), 1);
    ::testing::Mock::VerifyAndClearExpectations(&os);

    // Two stop bits never with 5 data bits; and 5 data bits not while two stop bits are set.
    EXPECT_FALSE(port.SetStopBitsCode(2));
    EXPECT_FALSE(port.SetDataBitsCode(2)); // 1.5 stop bits still set
    EXPECT_TRUE(port.SetStopBitsCode(0));
    EXPECT_TRUE(port.SetDataBitsCode(2));
    EXPECT_TRUE(port.SetStopBitsCode(2));
    EXPECT_FALSE(port.SetDataBitsCode(0));
    EXPECT_EQ(port.GetDataBitsCode(), 2);
    EXPECT_EQ(port.GetStopBitsCode(), 2);
}

TEST_F(DeviceSettings, ReadsOnlyWhatIsQueuedAndReportsFailuresAsErrorCodes)
{
    ASSERT_TRUE(port.Open());
    std::uint8_t buffer[8] = {};
    // Nothing queued: no read reaches the operating system.
    EXPECT_CALL(os, BytesQueued(7)).WillRepeatedly(Return(0));
    EXPECT_CALL(os, Read(_, _, _, _)).Times(0);
    EXPECT_EQ(port.Read(buffer, 8), 0);
    std::uint8_t c = 0;
    EXPECT_EQ(port.ReadChar(c), 0);
    ::testing::Mock::VerifyAndClearExpectations(&os);

    EXPECT_CALL(os, BytesQueued(7)).WillRepeatedly(Return(3));
    EXPECT_CALL(os, Read(7, _, 8, _)).WillOnce(Return(-1));
    EXPECT_EQ(port.Read(buffer, 8), -1);
    EXPECT_EQ(port.GetErrorCode(), VNXWinExtSerialBase::kErrorRead);

    EXPECT_CALL(os, Write(7, _, 2, _)).WillOnce(Return(-1));
    EXPECT_EQ(port.Write(buffer, 2), -1);
    EXPECT_EQ(port.GetErrorCode(), VNXWinExtSerialBase::kErrorWrite);

    // A closed port does nothing and says 0.
    port.Close();
    EXPECT_CALL(os, Write(_, _, _, _)).Times(0);
    EXPECT_EQ(port.Write(buffer, 2), 0);
    EXPECT_EQ(port.Read(buffer, 2), 0);
    EXPECT_EQ(port.InputCount(), 0);
    EXPECT_EQ(port.GetModemStatus(), 0);
}

TEST_F(DeviceSettings, LineErrorsMapToCodesFirstMatchWinning)
{
    ASSERT_TRUE(port.Open());
    EXPECT_CALL(os, BytesQueued(7)).WillRepeatedly(Return(4));
    const std::pair<std::uint32_t, int> cases[] = {
        {kLineBreak | kLineFraming | kLineParity, 6},
        {kLineFraming | kLineOverrun, 7},
        {kLineIoError | kLineMode, 8},
        {kLineMode | kLineOverrun, 1},
        {kLineOverrun | kLineParity, 9},
        {kLineParity | kLineReceiveOverflow, 11},
        {kLineReceiveOverflow | kLineTransmitFull, 10},
        {kLineTransmitFull, 12},
        {0, 0},
    };
    for (const auto& [flags, code] : cases) {
        EXPECT_CALL(os, TakeLineErrors(7)).WillOnce(Return(flags));
        EXPECT_EQ(port.InputCount(), 4);
        EXPECT_EQ(port.GetErrorCode(), code) << "flags " << flags;
    }
    EXPECT_CALL(os, TakeLineErrors(7)).WillOnce(Return(0));
    EXPECT_CALL(os, BytesQueued(7)).WillOnce(Return(-1));
    EXPECT_EQ(port.InputCount(), -1);
}

TEST_F(DeviceSettings, FlowControlCodesDriveTheLines)
{
    ASSERT_TRUE(port.Open());
    EXPECT_CALL(os, Configure(7, AllOf(Field(&SerialConfig::ctsOutputFlow, true),
                                       Field(&SerialConfig::rtsHandshake, true))));
    EXPECT_TRUE(port.SetFlowControl(1));

    EXPECT_CALL(
        os, Configure(7, AllOf(Field(&SerialConfig::xonXoffOut, true), Field(&SerialConfig::xonXoffIn, true),
                               Field(&SerialConfig::rtsHandshake, false))));
    EXPECT_CALL(os, SetModemLine(7, ModemLine::Rts, false));
    EXPECT_TRUE(port.SetFlowControl(2));
    ::testing::Mock::VerifyAndClearExpectations(&os);

    // Code 3 where the driver has no half-duplex mode: RTS up only around each block.
    EXPECT_CALL(os, SetKernelHalfDuplex(7, true)).WillOnce(Return(SerialResult::Failed("no")));
    EXPECT_CALL(os, SetModemLine(7, ModemLine::Rts, false)).WillOnce(Return(SerialResult::Ok()));
    EXPECT_TRUE(port.SetFlowControl(3));
    {
        InSequence order;
        EXPECT_CALL(os, SetModemLine(7, ModemLine::Rts, true)).WillOnce(Return(SerialResult::Ok()));
        EXPECT_CALL(os, Write(7, _, 3, _)).WillOnce(Return(3));
        EXPECT_CALL(os, Drain(7)).WillOnce(Return(SerialResult::Ok()));
        EXPECT_CALL(os, SetModemLine(7, ModemLine::Rts, false)).WillOnce(Return(SerialResult::Ok()));
    }
    const std::uint8_t block[3] = {1, 2, 3};
    EXPECT_EQ(port.Write(block, 3), 3);
}

TEST_F(DeviceSettings, ARefusedLineIsReportedAndThePortStaysUsable)
{
    EXPECT_CALL(os, SetModemLine(_, ModemLine::Rts, _))
        .WillRepeatedly(Return(SerialResult::Failed("RTS: Inappropriate ioctl for device")));
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.SetFlowControl(0));
    EXPECT_EQ(port.LastRefusal(), "RTS: Inappropriate ioctl for device");
    EXPECT_TRUE(port.IsOpen());
    EXPECT_FALSE(port.SetRTS(true));
    EXPECT_CALL(os, Write(7, _, 1, _)).WillOnce(Return(1));
    EXPECT_EQ(port.WriteChar(0x55), 1);
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
