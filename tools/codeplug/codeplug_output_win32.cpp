// Writing codeplug files on Windows: the output checks by file attributes and file identity, the
// temporary file flushed and moved over OUT. The twin of codeplug_output_posix.cpp.
#include "codeplug/codeplug_file.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "text/win32_error_text.h"

namespace aurex {

namespace {

bool Absent(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// OUT itself, links not followed: absent or a regular file. A link (any reparse point) is
// refused rather than replaced by the move or written through.
bool CheckOutputKind(const std::string& path, std::string& error)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD fault = ::GetLastError();
        if (Absent(fault)) {
            return true;
        }
        error = "cannot write " + path + ": " + Win32ErrorText(fault);
        return false;
    }
    const char* kind = nullptr;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        kind = "a symbolic link";
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        kind = "a folder";
    } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
        kind = "a device";
    }
    if (kind != nullptr) {
        error = "cannot write " + path + ": it is " + kind + "; OUT must be a new file or a regular file";
        return false;
    }
    return true;
}

// The volume and file index of a path, links followed; false when it cannot be opened.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info)
{
    const HANDLE file = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    return known;
}

bool WriteAll(HANDLE file, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr)) {
            return false;
        }
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

bool CheckCodeplugOutput(const std::string& in, const std::string& out, std::string& error)
{
    // Links followed on both sides: a symbolic or hard link to IN is IN.
    BY_HANDLE_FILE_INFORMATION inInfo{};
    BY_HANDLE_FILE_INFORMATION outInfo{};
    if (FileIdentity(in, inInfo) && FileIdentity(out, outInfo) &&
        inInfo.dwVolumeSerialNumber == outInfo.dwVolumeSerialNumber &&
        inInfo.nFileIndexHigh == outInfo.nFileIndexHigh && inInfo.nFileIndexLow == outInfo.nFileIndexLow) {
        error = "cannot write " + out + ": it is the same file as " + in + "; name a new file for OUT";
        return false;
    }
    return CheckOutputKind(out, error);
}

bool WriteCodeplugFile(const std::string& path, const std::vector<uint16_t>& buffer, std::size_t byteCount,
                       std::string& error)
{
    std::vector<unsigned char> bytes;
    if (!CodeplugLineBytes(path, buffer, byteCount, bytes, error) || !CheckOutputKind(path, error)) {
        return false;
    }
    // A name of our own beside OUT: OUT is never seen half written.
    const std::string temporary = TemporaryNameBeside(path);
    const HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot write " + path + ": " + Win32ErrorText(::GetLastError());
        return false;
    }
    DWORD fault = 0;
    if (!WriteAll(file, bytes.data(), bytes.size()) || !::FlushFileBuffers(file)) {
        fault = ::GetLastError();
    }
    if (!::CloseHandle(file) && fault == 0) {
        fault = ::GetLastError();
    }
    // Should something else have taken OUT's name since the check, a folder makes the move fail
    // and a file is replaced, never written into.
    if (fault == 0 &&
        !::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        fault = ::GetLastError();
    }
    if (fault != 0) {
        error = "cannot write " + path + ": " + Win32ErrorText(fault);
        ::DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace aurex
