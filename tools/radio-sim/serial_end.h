// The radio's end of the line on POSIX: a new pseudo-terminal, or a real serial device.
#pragma once

#include <memory>
#include <string>

namespace aurex::sim {

class SerialEnd
{
  public:
    // A pseudo-terminal in raw mode at 19200 baud. The radio keeps the program's side open as
    // well: the pair then survives the program closing and reopening it, and the speed the
    // program sets stays readable.
    static std::unique_ptr<SerialEnd> OpenPseudoTerminal(std::string& error);
    // A serial device in raw mode at 19200 baud, 8N1, no flow control.
    static std::unique_ptr<SerialEnd> OpenDevice(const std::string& path, std::string& error);

    ~SerialEnd();
    SerialEnd(const SerialEnd&) = delete;
    SerialEnd& operator=(const SerialEnd&) = delete;

    // Non-blocking descriptor the radio reads and writes.
    int Fd() const { return fd_; }
    // What the program opens.
    const std::string& ProgramPath() const { return programPath_; }
    bool IsPseudoTerminal() const { return programFd_ >= 0; }

    // The speeds the program's end is set to; 0 when they cannot be seen (a real device,
    // where the line itself garbles).
    int ProgramTransmitBaud() const;
    int ProgramReceiveBaud() const;

    // A real device follows the radio's speed; a pseudo-terminal has no speed of its own.
    // An errno value, 0 on success.
    int SetRadioBaud(int baud);

    // Waits, at most timeoutMs, until what the radio wrote has left: read by the program on a
    // pseudo-terminal (a hang-up would discard it), sent by the UART on a device.
    void Drain(int timeoutMs);

    // Hangs the line up: the program's end sees the far end gone.
    void Close();

  private:
    SerialEnd() = default;

    int fd_ = -1;
    int programFd_ = -1; // pseudo-terminal only: the program's side, held open
    std::string programPath_;
};

} // namespace aurex::sim
