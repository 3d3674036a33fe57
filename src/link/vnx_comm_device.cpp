#include "link/vnx_comm_device.h"

#include <string>

namespace aurex {

VNXCommDeviceSerial::VNXCommDeviceSerial(SerialSystem& system)
    : port_(std::make_unique<VNXWinExtSerialPort>(system))
{
    deviceKind_ = kSerialDeviceKind;
}

VNXCommDeviceSerial::~VNXCommDeviceSerial() = default;

int VNXCommDeviceSerial::Open()
{
    if (!port_->Open()) {
        return -1;
    }
    port_->Flush();
    return 1;
}

int VNXCommDeviceSerial::Close()
{
    port_->Flush();
    port_->Close();
    return 1;
}

bool VNXCommDeviceSerial::IsOpen() const
{
    return port_->IsOpen();
}

bool VNXCommDeviceSerial::CharReady()
{
    return port_->InputCount() > 0;
}

int VNXCommDeviceSerial::ReadChar(std::uint8_t& out)
{
    return Read(&out, 1);
}

int VNXCommDeviceSerial::Read(std::uint8_t* buffer, int count)
{
    return port_->Read(buffer, count);
}

int VNXCommDeviceSerial::Write(const std::uint8_t* data, int count)
{
    return port_->Write(data, count);
}

int VNXCommDeviceSerial::GetErrorCode()
{
    return port_->GetErrorCode();
}

SerialHandle VNXCommDeviceSerial::WaitHandle() const
{
    return port_->Handle();
}

bool VNXCommDeviceSerial::CheckConnection()
{
    return port_->CheckConnection();
}

bool VNXCommDeviceSerial::OpenPort(int comNumber, std::uint8_t baudCode, bool flowFlag)
{
    return OpenPort("\\\\.\\COM" + std::to_string(comNumber), baudCode, flowFlag);
}

bool VNXCommDeviceSerial::OpenPort(const std::string& portName, std::uint8_t baudCode, bool flowFlag)
{
    port_->SetPortName(portName);
    if (Open() == -1) {
        return false;
    }
    // Refusals of single settings (a pseudo-terminal has no RTS line) leave the port usable;
    // they stay readable in the port's LastRefusal.
    port_->SetBaudCode(baudCode);
    port_->SetDataBitsCode(3);
    port_->SetStopBitsCode(0);
    port_->SetParityCode(0);
    SetFlowFlag(flowFlag);
    port_->SetTimeouts(2, 0);
    return true;
}

bool VNXCommDeviceSerial::SetBaudCode(std::uint8_t code)
{
    return port_->SetBaudCode(code);
}

bool VNXCommDeviceSerial::SetFlowFlag(bool flag)
{
    flowFlag_ = flag;
    return port_->SetFlowControl(flag ? 3 : 0);
}

} // namespace aurex
