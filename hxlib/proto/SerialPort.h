// Opening a serial device for binary framing, shared by hxlib and hxsim.
#pragma once

#include <cstddef>
#include <string>

namespace hx {

// Opens path read/write, non-blocking, raw 8N1 at baudRate with no flow
// control. Returns the descriptor, or -1 (errno set; EINVAL for a rate the
// line cannot do).
int openRawSerial(const std::string &path, int baudRate);

// Seconds a frame of this many bytes needs on the line (10 bits a byte).
double lineSeconds(std::size_t bytes, int baudRate);

} // namespace hx
