#pragma once

#include "link/serial_system.h"

#include <gmock/gmock.h>

namespace aurex::test {

class MockSerialSystem : public SerialSystem
{
  public:
    MOCK_METHOD(SerialOpenResult, Open, (const std::string&), (override));
    MOCK_METHOD(PortOpenResult, Probe, (const std::string&), (override));
    MOCK_METHOD(SerialResult, ClaimExclusive, (SerialHandle), (override));
    MOCK_METHOD(void, Close, (SerialHandle), (override));
    MOCK_METHOD(LowLatencyResult, RequestLowLatency, (SerialHandle), (override));
    MOCK_METHOD(void, RestoreLowLatency, (SerialHandle), (override));
    MOCK_METHOD(bool, OffersRs485, (SerialHandle), (override));
    MOCK_METHOD(SerialResult, Configure, (SerialHandle, const SerialConfig&), (override));
    MOCK_METHOD(int, BytesQueued, (SerialHandle), (override));
    MOCK_METHOD(std::uint32_t, TakeLineErrors, (SerialHandle), (override));
    MOCK_METHOD(bool, WaitForInput, (SerialHandle, int), (override));
    MOCK_METHOD(long, Read, (SerialHandle, void*, std::size_t, const SerialTimeouts&), (override));
    MOCK_METHOD(long, Write, (SerialHandle, const void*, std::size_t, const SerialTimeouts&), (override));
    MOCK_METHOD(SerialResult, Drain, (SerialHandle), (override));
    MOCK_METHOD(SerialResult, Discard, (SerialHandle, bool, bool), (override));
    MOCK_METHOD(SerialResult, SetModemLine, (SerialHandle, ModemLine, bool), (override));
    MOCK_METHOD(int, ModemStatus, (SerialHandle), (override));
    MOCK_METHOD(SerialResult, SetKernelHalfDuplex, (SerialHandle, bool), (override));
    MOCK_METHOD(bool, HungUp, (SerialHandle), (override));

    // A device that opens as handle 7 and takes every setting.
    void AcceptEverything()
    {
        using ::testing::_;
        using ::testing::Return;
        ON_CALL(*this, Open(_)).WillByDefault(Return(SerialOpenResult{7, PortOpenResult::Opened, {}}));
        ON_CALL(*this, ClaimExclusive(_)).WillByDefault(Return(SerialResult::Ok()));
        ON_CALL(*this, Configure(_, _)).WillByDefault(Return(SerialResult::Ok()));
        ON_CALL(*this, Drain(_)).WillByDefault(Return(SerialResult::Ok()));
        ON_CALL(*this, Discard(_, _, _)).WillByDefault(Return(SerialResult::Ok()));
        ON_CALL(*this, SetModemLine(_, _, _)).WillByDefault(Return(SerialResult::Ok()));
        ON_CALL(*this, SetKernelHalfDuplex(_, _)).WillByDefault(Return(SerialResult::Failed("not a UART")));
        ON_CALL(*this, RequestLowLatency(_)).WillByDefault(Return(LowLatencyResult::Set()));
    }
};

} // namespace aurex::test
