#include "SerialPort.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <windows.h>

namespace hx {

void *openRawSerial(const std::string &path, int baudRate)
{
    if (std::find(std::begin(kLineRates), std::end(kLineRates), baudRate) == std::end(kLineRates)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE line = CreateFileW(std::filesystem::path(std::u8string(path.begin(), path.end())).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (line == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    COMMTIMEOUTS timeouts{};
    // Reads return at once with whatever has arrived; a write gives up after a second.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 1000;
    bool ok = GetCommState(line, &dcb);
    if (ok) {
        dcb.BaudRate = static_cast<DWORD>(baudRate);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        ok = SetCommState(line, &dcb) && SetCommTimeouts(line, &timeouts) &&
             PurgeComm(line, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    if (!ok) {
        const DWORD error = GetLastError();
        CloseHandle(line);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return line;
}

} // namespace hx
