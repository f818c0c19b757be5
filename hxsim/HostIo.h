// The few operating-system calls of hxsim's serving loop that differ between
// POSIX and Windows: sockets, waiting on several of them, and the stop
// request. One implementation per platform, both inline here.
#pragma once

#include <chrono>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <cstdint>
#include <io.h>
#include <thread>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace hostio {

#ifdef _WIN32
} // namespace hostio

// Winsock moves char buffers; these take bytes as the POSIX calls do.
inline int recvfrom(SOCKET socket, uint8_t *buffer, std::size_t size, int flags, sockaddr *from, int *fromLength)
{
    return ::recvfrom(socket, reinterpret_cast<char *>(buffer), static_cast<int>(size), flags, from, fromLength);
}

inline int sendto(SOCKET socket, const uint8_t *bytes, std::size_t size, int flags, const sockaddr *to, int toLength)
{
    return ::sendto(socket, reinterpret_cast<const char *>(bytes), static_cast<int>(size), flags, to, toLength);
}

namespace hostio {

using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
// Winsock has no non-blocking flag per call; the loop only reads after a poll
// said a datagram is there.
constexpr int kDontWait = 0;
// A receive's time-out is not to be relied on (Wine ignores it), so the
// loop always polls, the stop socket included.
constexpr bool kTimedReceive = false;

inline int pollSockets(pollfd *entries, unsigned long count, int timeoutMs)
{
    return ::WSAPoll(entries, count, timeoutMs);
}

inline void closeSocket(Socket socket)
{
    if (socket != kNoSocket) ::closesocket(socket);
}

inline bool setReceiveTimeout(Socket socket, std::chrono::milliseconds timeout)
{
    const DWORD ms = static_cast<DWORD>(timeout.count());
    return ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&ms), sizeof(ms)) == 0;
}

inline std::string lastSocketError()
{
    return "Winsock error " + std::to_string(::WSAGetLastError());
}

inline Socket udpSocket()
{
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return kNoSocket;
    return ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}

// A stop request is a datagram to a socket of our own, so it wakes the same
// poll that waits for requests.
class StopSignal {
public:
    // Catches Ctrl+C, Ctrl+Break and the closing of the console, and the event
    // "Local\hxsim-stop-<pid>" by which a parent without a console asks.
    bool catchRequests()
    {
        mSocket = udpSocket();
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(self);
        u_long nonBlocking = 1;
        if (mSocket == kNoSocket || ::bind(mSocket, reinterpret_cast<sockaddr *>(&self), sizeof(self)) != 0 ||
            ::getsockname(mSocket, reinterpret_cast<sockaddr *>(&self), &length) != 0 ||
            ::connect(mSocket, reinterpret_cast<sockaddr *>(&self), sizeof(self)) != 0 ||
            ::ioctlsocket(mSocket, FIONBIO, &nonBlocking) != 0)
            return false;
        ::SetConsoleCtrlHandler(&StopSignal::onConsole, TRUE);
        const std::wstring name = L"Local\\hxsim-stop-" + std::to_wstring(::GetCurrentProcessId());
        if (HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {
            std::thread([event] {
                ::WaitForSingleObject(event, INFINITE);
                instance().request();
            }).detach();
        }
        return true;
    }

    void request() { ::send(mSocket, "", 1, 0); }

    // Whether a request arrived; does not wait.
    bool requested()
    {
        char byte;
        return ::recv(mSocket, &byte, 1, 0) == 1;
    }

    Socket socket() const { return mSocket; }

    static StopSignal &instance()
    {
        static StopSignal signal;
        return signal;
    }

private:
    static BOOL WINAPI onConsole(DWORD)
    {
        instance().request();
        return TRUE;
    }

    Socket mSocket = kNoSocket;
};

#else

using Socket = int;
constexpr Socket kNoSocket = -1;
constexpr int kDontWait = MSG_DONTWAIT;
// A blocking receive with a time-out lets the loop look at the stop pipe.
constexpr bool kTimedReceive = true;

inline int pollSockets(pollfd *entries, unsigned long count, int timeoutMs)
{
    return ::poll(entries, count, timeoutMs);
}

inline void closeSocket(Socket socket)
{
    if (socket >= 0) ::close(socket);
}

inline bool setReceiveTimeout(Socket socket, std::chrono::milliseconds timeout)
{
    const timeval slice{static_cast<time_t>(timeout.count() / 1000), static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    return ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof(slice)) == 0;
}

inline std::string lastSocketError()
{
    return std::strerror(errno);
}

inline Socket udpSocket()
{
    return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

// SIGTERM and SIGINT write a byte into a pipe, so they wake the same poll
// that waits for requests.
class StopSignal {
public:
    bool catchRequests()
    {
        if (::pipe2(mPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
        struct sigaction action {};
        action.sa_handler = [](int) { instance().request(); };
        ::sigemptyset(&action.sa_mask);
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }

    void request()
    {
        const char byte = 1;
        [[maybe_unused]] const auto ignored = ::write(mPipe[1], &byte, 1);
    }

    bool requested()
    {
        char byte;
        return ::read(mPipe[0], &byte, 1) == 1;
    }

    Socket socket() const { return mPipe[0]; }

    static StopSignal &instance()
    {
        static StopSignal signal;
        return signal;
    }

private:
    int mPipe[2] = {-1, -1};
};

#endif

} // namespace hostio
