// The serial line over the Win32 communications API.
#include "SerialPort.h"
#include "LineTransport.h"

#include <algorithm>
#include <cstdlib>
#include <windows.h>

namespace hxlib {

std::string comDevicePath(int comNumber)
{
    const std::string variable = "MARQORA_COM" + std::to_string(comNumber);
    if (const char *mapped = std::getenv(variable.c_str()); mapped && *mapped) return mapped;
    // The device namespace reaches every port, also COM10 and above.
    return "\\\\.\\COM" + std::to_string(comNumber);
}

namespace {

// A healthy line never pauses this long inside a frame.
constexpr DWORD kQuietMs = 200;

class SerialTransport final : public LineTransport {
public:
    SerialTransport(HANDLE line, int baudRate) : LineTransport(baudRate), mLine(line) {}
    ~SerialTransport() override { CloseHandle(mLine); }

    bool send(std::span<const uint8_t> frame) override
    {
        // A held partial frame with another start marker behind it is most
        // likely a false start (a corrupted length) holding up the reply
        // behind it; drop its first byte before the copy goes out. One with
        // nothing behind it may be a late reply still arriving, and stays.
        if (mFramer.hasPartialFrame() && mFramer.holdsLaterStart()) mFramer.skipByte();
        std::size_t done = 0;
        while (done < frame.size()) {
            DWORD written = 0;
            if (!WriteFile(mLine, frame.data() + done, static_cast<DWORD>(frame.size() - done), &written, nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        return true;
    }

    std::optional<std::span<const uint8_t>> receive(Clock::time_point deadline) override
    {
        for (;;) {
            if (auto frame = mFramer.next()) return frame;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            const DWORD waitMs = static_cast<DWORD>(std::min<long long>(left.count(), kQuietMs));
            auto space = mFramer.writableSpace();
            DWORD got = 0;
            if (!waitForBytes(waitMs) ||
                !ReadFile(mLine, space.data(), static_cast<DWORD>(space.size()), &got, nullptr)) {
                // The port is gone (unplugged); wait out the time-out instead of spinning.
                Sleep(static_cast<DWORD>(left.count()));
                return std::nullopt;
            }
            if (got > 0) {
                mFramer.commit(got);
            } else if (mFramer.hasPartialFrame()) {
                // The line went quiet inside a frame: its start was noise.
                mFramer.skipByte();
            }
        }
    }

    void flush() override
    {
        PurgeComm(mLine, PURGE_RXCLEAR);
        mFramer.clear();
    }

private:
    // The next read returns as soon as a byte is there, or empty after waitMs.
    bool waitForBytes(DWORD waitMs)
    {
        if (waitMs == mReadWaitMs) return true;
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = waitMs;
        timeouts.WriteTotalTimeoutConstant = 1000;
        if (!SetCommTimeouts(mLine, &timeouts)) return false;
        mReadWaitMs = waitMs;
        return true;
    }

    HANDLE mLine;
    DWORD mReadWaitMs = 0;
};

} // namespace

std::unique_ptr<Transport> openSerial(int comNumber, int baudRate)
{
    if (comNumber < 1 || comNumber > 256) return nullptr;
    const HANDLE line = static_cast<HANDLE>(hx::openRawSerial(comDevicePath(comNumber), baudRate));
    if (line == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<SerialTransport>(line, baudRate);
}

} // namespace hxlib
