// The device classes' settings rules and results against a recorded operating system: the same
// on every platform, so the Windows build runs them too.
#include "link/vnx_comm_device.h"
#include "mock_serial_system.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace aurex {
namespace {

using test::MockSerialSystem;
using ::testing::_;
using ::testing::AllOf;
using ::testing::Field;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;

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

} // namespace
} // namespace aurex
