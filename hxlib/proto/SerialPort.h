// Opening a serial device for binary framing, shared by hxlib and hxsim.
#pragma once

#include <cstddef>
#include <string>

namespace hx {

#ifdef _WIN32
// Opens path ("\\.\COM3") read/write, raw 8N1 at baudRate with no flow
// control, reads returning at once with what has arrived. Returns the
// handle, or INVALID_HANDLE_VALUE (GetLastError set; ERROR_INVALID_PARAMETER
// for a rate the line cannot do).
void *openRawSerial(const std::string &path, int baudRate);
#else
// Opens path read/write, non-blocking, raw 8N1 at baudRate with no flow
// control. Returns the descriptor, or -1 (errno set; EINVAL for a rate the
// line cannot do).
int openRawSerial(const std::string &path, int baudRate);
#endif

// The bit rates a line can be opened at, on every platform.
inline constexpr int kLineRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};

// Seconds a frame of this many bytes needs on the line (10 bits a byte).
inline double lineSeconds(std::size_t bytes, int baudRate)
{
    return baudRate > 0 ? static_cast<double>(bytes) * 10.0 / baudRate : 0.0;
}

} // namespace hx
