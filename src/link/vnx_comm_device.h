#pragma once

#include "link/serial_system.h"
#include "link/vnx_win_ext_serial_port.h"

#include <cstdint>
#include <memory>
#include <string>

namespace aurex {

// An abstract byte-stream device.
class VNXCommDevice
{
  public:
    VNXCommDevice() = default;
    VNXCommDevice(const VNXCommDevice&) = delete;
    VNXCommDevice& operator=(const VNXCommDevice&) = delete;
    virtual ~VNXCommDevice() = default;

    virtual int Open() { return -1; }
    virtual int Close() { return -1; }
    virtual bool IsOpen() const { return false; }
    virtual bool CharReady() { return false; }
    virtual int ReadChar(std::uint8_t& out)
    {
        (void)out;
        return -1;
    }
    virtual int Read(std::uint8_t* buffer, int count)
    {
        (void)buffer;
        (void)count;
        return -1;
    }
    virtual int Write(const std::uint8_t* data, int count)
    {
        (void)data;
        (void)count;
        return -1;
    }
    virtual int GetErrorCode() { return 0; }

    // What a waiting caller needs to block until input arrives instead of polling: the handle
    // that becomes readable, and a check that closes the device when it has gone.
    virtual SerialHandle WaitHandle() const { return kNoSerialHandle; }
    virtual bool CheckConnection() { return IsOpen(); }

    int DeviceKind() const { return deviceKind_; }

  protected:
    int deviceKind_ = 0;
};

// The serial device: owns its port for its whole life.
class VNXCommDeviceSerial : public VNXCommDevice
{
  public:
    static constexpr int kSerialDeviceKind = 2;

    explicit VNXCommDeviceSerial(SerialSystem& system = PlatformSerialSystem());
    ~VNXCommDeviceSerial() override;

    int Open() override;
    int Close() override;
    bool IsOpen() const override;
    bool CharReady() override;
    int ReadChar(std::uint8_t& out) override;
    int Read(std::uint8_t* buffer, int count) override;
    int Write(const std::uint8_t* data, int count) override;
    int GetErrorCode() override;
    SerialHandle WaitHandle() const override;
    bool CheckConnection() override;

    bool OpenPort(int comNumber, std::uint8_t baudCode, bool flowFlag);
    // The same on a port name as the port takes it: "COMn" or a device path.
    bool OpenPort(const std::string& portName, std::uint8_t baudCode, bool flowFlag);
    bool SetBaudCode(std::uint8_t code);
    bool SetFlowFlag(bool flag);
    bool FlowFlag() const { return flowFlag_; }

    VNXWinExtSerialPort& Port() { return *port_; }
    const VNXWinExtSerialPort& Port() const { return *port_; }

  private:
    std::unique_ptr<VNXWinExtSerialPort> port_;
    bool flowFlag_ = false;
};

} // namespace aurex
