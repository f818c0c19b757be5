#include "SerialPort.h"
#include "LineTransport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace hxlib {

std::string comDevicePath(int comNumber)
{
    const std::string variable = "MARQORA_COM" + std::to_string(comNumber);
    if (const char *mapped = std::getenv(variable.c_str()); mapped && *mapped) return mapped;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

namespace {

// A healthy line never pauses this long inside a frame.
constexpr int kQuietMs = 200;

class SerialTransport final : public LineTransport {
public:
    SerialTransport(int fd, int baudRate) : LineTransport(baudRate), mFd(fd) {}
    ~SerialTransport() override { ::close(mFd); }

    bool send(std::span<const uint8_t> frame) override
    {
        // Before a copy goes out: a partial frame held with another start
        // marker behind it is most likely a false start (a corrupted length)
        // holding up the reply behind it, which would otherwise wait until
        // the line goes quiet; drop its first byte and the search goes on.
        // A partial frame with nothing behind it may be a late reply still
        // arriving, and stays.
        if (mFramer.hasPartialFrame() && mFramer.holdsLaterStart()) mFramer.skipByte();
        std::size_t done = 0;
        while (done < frame.size()) {
            const ssize_t written = ::write(mFd, frame.data() + done, frame.size() - done);
            if (written > 0) {
                done += static_cast<std::size_t>(written);
                continue;
            }
            if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
            pollfd pfd{mFd, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) <= 0) return false;
        }
        return true;
    }

    std::optional<std::span<const uint8_t>> receive(Clock::time_point deadline) override
    {
        for (;;) {
            if (auto frame = mFramer.next()) return frame;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd pfd{mFd, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), kQuietMs)));
            if (ready < 0 && errno != EINTR) return std::nullopt;
            if (ready == 0 && mFramer.hasPartialFrame()) {
                // The line went quiet inside a frame: its start was noise.
                mFramer.skipByte();
                continue;
            }
            if (ready <= 0) continue;
            auto space = mFramer.writableSpace();
            const ssize_t got = ::read(mFd, space.data(), space.size());
            if (got > 0) {
                mFramer.commit(static_cast<std::size_t>(got));
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // The other end is gone (a pseudo-terminal without a peer
                // reports EIO); wait out the time-out instead of spinning.
                ::poll(nullptr, 0, static_cast<int>(left.count()));
                return std::nullopt;
            }
        }
    }

    void flush() override
    {
        ::tcflush(mFd, TCIFLUSH);
        mFramer.clear();
    }

private:
    int mFd;
};

} // namespace

std::unique_ptr<Transport> openSerial(int comNumber, int baudRate)
{
    if (comNumber < 1 || comNumber > 256) return nullptr;
    const int fd = hx::openRawSerial(comDevicePath(comNumber), baudRate);
    if (fd < 0) return nullptr;
    return std::make_unique<SerialTransport>(fd, baudRate);
}

} // namespace hxlib
