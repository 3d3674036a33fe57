#pragma once

#include "link/serial_system.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace aurex {

// A serial port with stored settings. The settings' storage and the rules that tie them together
// live here; the concrete port applies them to the device.
class VNXWinExtSerialBase
{
  public:
    VNXWinExtSerialBase() = default;
    VNXWinExtSerialBase(const VNXWinExtSerialBase&) = delete;
    VNXWinExtSerialBase& operator=(const VNXWinExtSerialBase&) = delete;
    virtual ~VNXWinExtSerialBase() = default;

    virtual void SetDefaults();
    virtual void SetPortName(const std::string& name);
    virtual std::string GetPortName() const;
    // Setters return false when the code is refused by the settings rules (nothing stored) or when
    // the open device would not take it (stored; see LastRefusal).
    virtual bool SetBaudCode(std::uint8_t code) = 0;
    virtual std::uint8_t GetBaudCode() const;
    virtual bool SetDataBitsCode(std::uint8_t code) = 0;
    virtual std::uint8_t GetDataBitsCode() const;
    virtual bool SetParityCode(std::uint8_t code) = 0;
    virtual std::uint8_t GetParityCode() const;
    virtual bool SetStopBitsCode(std::uint8_t code) = 0;
    virtual std::uint8_t GetStopBitsCode() const;
    virtual bool SetFlowControl(std::uint8_t code) = 0;
    virtual std::uint8_t GetFlowControl() const;
    virtual void SetTimeouts(std::int32_t seconds, std::int32_t milliseconds) = 0;
    virtual bool Open() = 0;
    virtual bool IsOpen() const;
    virtual int Close() = 0;
    virtual int Flush() = 0;
    virtual int BytesWaiting() = 0;
    virtual int InputCount() = 0;
    virtual bool HasInput();
    virtual std::uint8_t ReadChar(std::uint8_t& out) = 0;
    virtual std::uint8_t WriteChar(std::uint8_t c) = 0;
    virtual void NoOperation() = 0;
    virtual int ReadLine(char* buffer, int size);
    virtual int GetErrorCode() const;
    virtual void RecordLineErrors(std::uint32_t flags) = 0;
    virtual bool SetDTR(bool raised) = 0;
    virtual bool SetRTS(bool raised) = 0;
    virtual int GetModemStatus() = 0;
    virtual int Read(std::uint8_t* buffer, int count) = 0;
    virtual int Write(const std::uint8_t* data, int count) = 0;

    // Baud rate in bits per second for a code; 0 for a code above 21.
    static std::int32_t BaudRateForCode(std::uint8_t code);
    // The code a baud code is stored as (the first of its aliases).
    static std::uint8_t StoredBaudCode(std::uint8_t code);

    static constexpr int kErrorRead = 13;
    static constexpr int kErrorWrite = 14;

  protected:
    // The data-bit and stop-bit rule: 1.5 stop bits only with 5 data bits, 2 never with 5.
    static bool StopAndDataBitsAgree(std::uint8_t dataBitsCode, std::uint8_t stopBitsCode);

    std::string portName_ = "COM1";
    bool open_ = false;
    std::uint8_t baudCode_ = 14;
    std::uint8_t dataBitsCode_ = 3;
    std::uint8_t parityCode_ = 0;
    std::uint8_t stopBitsCode_ = 0;
    std::uint8_t flowControlCode_ = 0;
    std::int32_t timeoutSeconds_ = 0;
    std::int32_t timeoutMilliseconds_ = 500;
    int errorCode_ = 0;
};

// The operating-system serial port.
class VNXWinExtSerialPort : public VNXWinExtSerialBase
{
  public:
    explicit VNXWinExtSerialPort(SerialSystem& system = PlatformSerialSystem());
    ~VNXWinExtSerialPort() override;

    bool SetBaudCode(std::uint8_t code) override;
    bool SetDataBitsCode(std::uint8_t code) override;
    bool SetParityCode(std::uint8_t code) override;
    bool SetStopBitsCode(std::uint8_t code) override;
    bool SetFlowControl(std::uint8_t code) override;
    void SetTimeouts(std::int32_t seconds, std::int32_t milliseconds) override;
    bool Open() override;
    int Close() override;
    int Flush() override;
    int BytesWaiting() override;
    int InputCount() override;
    std::uint8_t ReadChar(std::uint8_t& out) override;
    std::uint8_t WriteChar(std::uint8_t c) override;
    void NoOperation() override {}
    void RecordLineErrors(std::uint32_t flags) override;
    bool SetDTR(bool raised) override;
    bool SetRTS(bool raised) override;
    int GetModemStatus() override;
    int Read(std::uint8_t* buffer, int count) override;
    int Write(const std::uint8_t* data, int count) override;

    // How the last Open ended.
    PortOpenResult OpenResult() const { return openResult_; }
    // The device path the last Open tried.
    const std::string& DevicePath() const { return devicePath_; }
    // The last setting the device would not take, with the system's reason; empty when none.
    const std::string& LastRefusal() const { return lastRefusal_; }
    // The handle to wait on for input; kNoSerialHandle while closed.
    SerialHandle Handle() const { return handle_; }
    // Closes the port when the device has gone (cable pulled, adapter removed); false then.
    bool CheckConnection();
    const SerialConfig& Config() const { return config_; }
    const SerialTimeouts& Timeouts() const { return timeouts_; }
    // What the last Open got when it asked a USB adapter for low latency; NotAsked for any other
    // device.
    const LowLatencyResult& LowLatency() const { return lowLatency_; }
    // Where Open reads sysfs to tell a USB adapter; tests give a fake tree.
    void SetSysfsRoot(std::filesystem::path root) { sysfsRoot_ = std::move(root); }

  private:
    void BuildConfig();
    bool ApplyConfig();
    bool ApplyFlowLines();
    bool Report(const SerialResult& result);

    SerialSystem& system_;
    SerialHandle handle_ = kNoSerialHandle;
    SerialConfig config_;
    SerialTimeouts timeouts_;
    PortOpenResult openResult_ = PortOpenResult::Opened;
    std::string devicePath_;
    std::string lastRefusal_;
    bool kernelToggle_ = false; // flow code 3 carried by the driver's half-duplex mode
    LowLatencyResult lowLatency_;
    std::filesystem::path sysfsRoot_ = "/sys";
};

} // namespace aurex
