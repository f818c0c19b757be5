// hxsim: a simulated display controller on UDP and/or a serial line.
#include "Controller.h"
#include "FaultyLink.h"
#include "HostIo.h"
#include "HxProtocol.h"
#include "Panel.h"
#include "RequestHandler.h"
#include "SerialPort.h"

#ifdef HXSIM_PICTURE
#include "PanelPicture.h"
#include "PanelWindow.h"

#include <QGuiApplication>
#endif

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <vector>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

const char kUsage[] =
    "usage: hxsim --disk DIR [--udp ADDR:PORT] [--serial PATH --screen N] [--name TEXT] [--size WxH]\n"
    "             [--type 0|1] [--play DRIVE:INDEX] [--boot-ms MS] [--log FILE] [--png FILE] [--window]\n"
    "             [--rotated] [--protocol 1|2] [--up FAULTS] [--down FAULTS] [--drop PERCENT]\n"
    "             [--drop-replies PERCENT] [--drop-on OP,OP...] [--delay MS] [--jitter MS] [--delay-on OP,OP...]\n"
    "  --disk DIR        the controller's disks A, B and C as folders of DIR (required)\n"
    "  --udp ADDR:PORT   answer on UDP (port 0: a free one); --serial PATH --screen N: on a serial line\n"
    "  --name TEXT       its name, at most 15 bytes (default HXSIM); --size WxH its panel (default 128x32)\n"
    "  --type 0|1        0 VRX7300, first disk A: (default); 1 Hexalink, first disk B:\n"
    "  --play D:I        the play list it plays at start (default: number 0 on the first disk)\n"
    "  --boot-ms MS      how long a reboot keeps it silent (default 2000)\n"
    "  --log FILE        one JSON line per request it runs; --png FILE, --window: its panel as a picture\n"
    "  --rotated         the Chinese font library holds its glyphs turned a quarter turn\n"
    "  --protocol 1|2    the highest frame version it reads (default 2: numbered copies and a window\n"
    "                    of 32 blocks; 1: one plain request at a time, like a controller of old)\n"
    "Faults on the network, per direction (--up: requests to it, --down: its replies), as Linux's netem\n"
    "puts them on a link: FAULTS is KEY=VALUE,... of loss=PERCENT, delay=MS, jitter=MS (the delay varies\n"
    "that much either way, so datagrams overtake each other), reorder=PERCENT (sent without the delay),\n"
    "duplicate=PERCENT, corrupt=PERCENT (one bit flipped) and rate=BITS-PER-SECOND.\n"
    "--drop is --up loss=PERCENT, --drop-replies is --down loss=PERCENT; --drop-on limits the loss\n"
    "to the operations named as in the log (GetPlayInfo), else all are lost.\n"
    "--delay holds each reply back MS, plus up to --jitter MS at random, while requests go on being\n"
    "served (a controller busy writing flash); --delay-on limits that to the operations named\n"
    "(SaveToFile,Reset), else every reply is held back.\n";

// A serial line that goes quiet inside a frame for this long holds noise.
constexpr auto kSerialIdleGap = std::chrono::milliseconds(200);
// Delayed replies held at once; beyond that a reply is lost, as a busy
// controller's would be.
constexpr std::size_t kMaxPendingReplies = 64;

struct Options {
    hxsim::ControllerOptions controller;
    std::string udp;
    std::string serial;
    std::optional<uint16_t> screen;
    int bootMs = 2000;
    hxsim::LinkFaults up;   // requests on their way to the controller
    hxsim::LinkFaults down; // replies on their way back
    int delayMs = 0;
    int jitterMs = 0;
    std::bitset<256> delayedCommands; // none named: all
    std::bitset<256> droppedCommands; // none named: all
    std::string logFile;
    std::string pngFile;      // rewritten after every change of the panel
    bool window = false;      // show the panel live
    bool rotatedChinese = false;  // the Chinese library holds its glyphs turned a quarter turn
    bool panelWanted() const { return window || !pngFile.empty(); }
};

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "hxsim: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

hxsim::LinkFaults linkFaults(const std::string &text, const std::string &option, const hxsim::LinkFaults &given)
{
    std::string error;
    const auto faults = hxsim::parseLinkFaults(text, given, error);
    if (!faults) fail(option + ": " + error);
    return *faults;
}

long number(const std::string &text, long low, long high, const char *what)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || value < low || value > high)
        fail(std::string("bad ") + what + " \"" + text + "\"");
    return value;
}

// "SaveToFile,Reset": the commands of the operations named as in the log.
std::bitset<256> commandsNamed(const std::string &list, const std::string &option)
{
    std::bitset<256> commands;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        bool known = false;
        for (int code = 0; code < 0x80; ++code) {
            const char *operation = hxsim::operationName(static_cast<hx::Command>(code));
            if (operation && name == operation) {
                commands.set(static_cast<std::size_t>(code));
                known = true;
            }
        }
        if (!known) fail("unknown operation \"" + name + "\" in " + option);
        start = comma + 1;
    }
    return commands;
}

Options parseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (arg == "--window") {
            options.window = true;
            continue;
        }
        if (arg == "--rotated") {
            options.rotatedChinese = true;
            continue;
        }
        if (i + 1 >= argc) fail("missing value after " + arg);
        const std::string value = argv[++i];
        if (arg == "--disk") {
            options.controller.diskRoot = value;
        } else if (arg == "--udp") {
            options.udp = value;
        } else if (arg == "--serial") {
            options.serial = value;
        } else if (arg == "--screen") {
            options.screen = static_cast<uint16_t>(number(value, 0, 65535, "screen number"));
        } else if (arg == "--name") {
            if (value.size() >= hx::kNameCapacity) fail("--name takes at most 15 bytes");
            options.controller.name = value;
        } else if (arg == "--size") {
            const auto x = value.find('x');
            if (x == std::string::npos) fail("bad size \"" + value + "\"");
            options.controller.width = static_cast<uint16_t>(number(value.substr(0, x), 1, 65535, "width"));
            options.controller.height = static_cast<uint16_t>(number(value.substr(x + 1), 1, 65535, "height"));
        } else if (arg == "--type") {
            options.controller.type = static_cast<int>(number(value, 0, 1, "type"));
        } else if (arg == "--play") {
            const auto colon = value.find(':');
            if (colon == std::string::npos) fail("bad play \"" + value + "\"");
            options.controller.playDrive = static_cast<int>(number(value.substr(0, colon), 0, 2, "play drive"));
            options.controller.playIndex = static_cast<int>(number(value.substr(colon + 1), 0, 255, "play index"));
        } else if (arg == "--boot-ms") {
            options.bootMs = static_cast<int>(number(value, 0, 600000, "boot time"));
        } else if (arg == "--protocol") {
            options.controller.frameVersion = static_cast<uint8_t>(number(value, 1, 2, "protocol version"));
        } else if (arg == "--up") {
            options.up = linkFaults(value, arg, options.up);
        } else if (arg == "--down") {
            options.down = linkFaults(value, arg, options.down);
        } else if (arg == "--drop") {
            options.up.lossPercent = static_cast<double>(number(value, 0, 100, "drop percentage"));
        } else if (arg == "--drop-replies") {
            options.down.lossPercent = static_cast<double>(number(value, 0, 100, "reply drop percentage"));
        } else if (arg == "--delay") {
            options.delayMs = static_cast<int>(number(value, 0, 600000, "delay"));
        } else if (arg == "--jitter") {
            options.jitterMs = static_cast<int>(number(value, 0, 600000, "jitter"));
        } else if (arg == "--delay-on") {
            options.delayedCommands = commandsNamed(value, arg);
        } else if (arg == "--drop-on") {
            options.droppedCommands = commandsNamed(value, arg);
        } else if (arg == "--log") {
            options.logFile = value;
        } else if (arg == "--png") {
            options.pngFile = value;
        } else {
            fail("unknown option " + arg);
        }
    }
    if (options.controller.diskRoot.empty()) fail("--disk is required");
    if (options.udp.empty() && options.serial.empty()) fail("give --udp, --serial or both");
    if (!options.serial.empty() && !options.screen) fail("--serial needs --screen");
#ifdef _WIN32
    if (!options.serial.empty()) fail("--serial is not served on Windows");
#endif
#ifndef HXSIM_PICTURE
    if (options.panelWanted()) fail("--png and --window need hxsim built with Qt");
#endif
    if (const auto problem = hxsim::Controller::makeDriveFolders(options.controller.diskRoot)) {
        std::fprintf(stderr, "hxsim: cannot use --disk: %s\n", problem->c_str());
        std::exit(2);
    }
    return options;
}

hostio::Socket bindUdp(const std::string &udpOption, std::string &bound)
{
    const auto colon = udpOption.rfind(':');
    if (colon == std::string::npos) fail("bad --udp \"" + udpOption + "\"");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, udpOption.substr(0, colon).c_str(), &address.sin_addr) != 1)
        fail("bad --udp address \"" + udpOption + "\"");
    address.sin_port = htons(static_cast<uint16_t>(number(udpOption.substr(colon + 1), 0, 65535, "port")));
    const hostio::Socket fd = hostio::udpSocket();
    if (fd == hostio::kNoSocket || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
        !hostio::setReceiveTimeout(fd, std::chrono::milliseconds(100)))
        fail("cannot bind UDP " + udpOption + ": " + hostio::lastSocketError());
    socklen_t length = sizeof(address);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
    bound = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
    return fd;
}

class Server {
public:
#ifdef HXSIM_PICTURE
    // Receives every new panel picture, on the thread that serves requests.
    using PictureSink = std::function<void(const QImage &)>;
#endif

    explicit Server(Options options) : mOptions(std::move(options)), mController(mOptions.controller),
                              mUdpHandler(mController), mSerialHandler(mController, mOptions.screen)
    {
        if (!mOptions.logFile.empty()) {
            mLog = std::fopen(mOptions.logFile.c_str(), "a");
            if (!mLog) fail("cannot open log " + mOptions.logFile + ": " + std::strerror(errno));
            const auto logger = [this](const hxsim::RequestRecord &record) {
                std::fprintf(mLog, "%s\n", hxsim::toJsonLine(record).c_str());
                std::fflush(mLog);
            };
            mUdpHandler.setLogger(logger);
            mSerialHandler.setLogger(logger);
        }
        mController.addChangeHook([this](const hxsim::Controller &controller, hxsim::Controller::Change change) {
            if (change == hxsim::Controller::Change::Booting && controller.booting())
                mBootEnd = Clock::now() + std::chrono::milliseconds(mOptions.bootMs);
            mPanelStale = true;
        });
    }

    // What the links did, when they had faults: one line per direction.
    void reportLinks() const
    {
        if (!mUp.passesThrough()) std::fprintf(stderr, "hxsim: %s\n", mUp.model().summary("up").c_str());
        if (!mDown.passesThrough()) std::fprintf(stderr, "hxsim: %s\n", mDown.model().summary("down").c_str());
    }

    ~Server()
    {
        hostio::closeSocket(mUdp);
        closeSerial();
        if (mLog) std::fclose(mLog);
    }

#ifdef HXSIM_PICTURE
    void setPictureSink(PictureSink sink) { mPictureSink = std::move(sink); }
#endif

    void open()
    {
        refreshPanel();
        std::string ready = "hxsim ready";
        if (!mOptions.udp.empty()) {
            std::string bound;
            mUdp = bindUdp(mOptions.udp, bound);
            ready += " udp=" + bound;
        }
        if (!mOptions.serial.empty()) {
            openSerial();
            if (mSerial < 0) fail("cannot open serial " + mOptions.serial + ": " + std::strerror(errno));
            ready += " serial=" + mOptions.serial;
        }
        std::printf("%s\n", ready.c_str());
        std::fflush(stdout);
    }

    void run()
    {
        mPending.reserve(kMaxPendingReplies);
        for (;;) {
            // Drawn after the reply went out, so the panel never slows a request down.
            if (mPanelStale) refreshPanel();
            sendDue();
            if (hostio::kTimedReceive && mSerial < 0 && !mController.booting() && holdsNothing()) {
                // UDP alone: a blocking receive (a short kernel time-out lets
                // it look at the signal pipe) saves the poll call per request.
                if (stopRequested()) return;
                serveUdp(0);
                continue;
            }
            pollfd fds[3] = {{hostio::StopSignal::instance().socket(), POLLIN, 0}, {mUdp, POLLIN, 0},
                             {static_cast<hostio::Socket>(mSerial), POLLIN, 0}};
            const int ready = hostio::pollSockets(fds, 3, pollTimeoutMs());
            if (ready < 0 && errno != EINTR) return;
            if (fds[0].revents) return;
            if (mController.booting() && Clock::now() >= mBootEnd) mController.finishBoot();
            if (fds[1].revents & POLLIN) serveUdp(hostio::kDontWait);
            if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) serveSerial();
            if (mSerialHasPartial && Clock::now() - mSerialLastByte >= kSerialIdleGap) {
                mFramer.skipByte();
                drainSerialFrames();
            }
        }
    }

private:
    // Serial lines are served on POSIX systems only; elsewhere parseOptions refuses them.
    void openSerial()
    {
#ifndef _WIN32
        mSerial = hx::openRawSerial(mOptions.serial, 115200);
#endif
    }

    void closeSerial()
    {
#ifndef _WIN32
        if (mSerial >= 0) ::close(mSerial);
#endif
    }

    int pollTimeoutMs() const
    {
        auto wait = std::chrono::milliseconds(-1);
        const auto now = Clock::now();
        if (mController.booting())
            wait = std::chrono::ceil<std::chrono::milliseconds>(std::max(mBootEnd - now, Clock::duration::zero()));
        const auto until = [&](Clock::time_point moment) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(std::max(moment - now, Clock::duration::zero()));
            if (wait.count() < 0 || left < wait) wait = left;
        };
        if (mSerialHasPartial) until(mSerialLastByte + kSerialIdleGap);
        for (const PendingReply &pending : mPending) until(pending.due);
        for (const auto due : {mUp.nextDue(), mDown.nextDue()})
            if (due) until(*due);
        return static_cast<int>(wait.count());
    }

    static bool stopRequested() { return hostio::StopSignal::instance().requested(); }

    void refreshPanel()
    {
        mPanelStale = false;
        if (!mOptions.panelWanted()) return;
        hxsim::PanelFrame frame = hxsim::renderPanel(mController, mOptions.rotatedChinese);
        if (const auto problem = mPanelProblem.toTell(frame.problem))
            std::fprintf(stderr, "hxsim: panel dark: %s\n", problem->c_str());
        if (mPanelShown && frame.leds == *mPanelShown) return;
        mPanelShown = std::move(frame.leds);
#ifdef HXSIM_PICTURE
        const QImage picture = panelPicture(*mPanelShown);
        QString error;
        if (!mOptions.pngFile.empty() && !hxsim::writePanelPng(picture, QString::fromStdString(mOptions.pngFile), &error))
            std::fprintf(stderr, "hxsim: cannot write %s: %s\n", mOptions.pngFile.c_str(), error.toStdString().c_str());
        if (mPictureSink) mPictureSink(picture);
#endif
    }

    // Whether a frame (request or reply) is one the loss applies to.
    bool lossApplies(std::span<const uint8_t> frame) const
    {
        if (mOptions.droppedCommands.none()) return true;
        constexpr std::size_t commandOffset = 7;
        return frame.size() > commandOffset &&
               mOptions.droppedCommands.test(static_cast<std::size_t>(frame[commandOffset] & ~hx::kReplyFlag & 0xFF));
    }

    // Where a reply goes: back over UDP to its sender, or onto the line.
    struct Destination {
        bool serial = false;
        sockaddr_in to{};
        socklen_t toLength = 0;
        uint64_t peer = 0;
        bool operator==(const Destination &other) const
        {
            return serial == other.serial && peer == other.peer;
        }
    };

    struct PendingReply {
        Clock::time_point due;
        Destination destination;
        std::size_t size = 0;
        uint8_t bytes[hx::kMaxFrame];
    };

    // Version, device, sequence and command: the same in every reply to
    // the copies of one request.
    static bool sameRequest(std::span<const uint8_t> reply, const PendingReply &pending)
    {
        constexpr std::size_t from = 2, to = 8;
        return reply.size() >= to && pending.size >= to &&
               std::equal(reply.begin() + from, reply.begin() + to, pending.bytes + from);
    }

    // When the reply the handler just made may leave: a fresh one after the
    // configured delay; a repeat's stored reply along with the first copy's
    // when that is still held back (the controller is still busy), else at once.
    Clock::time_point replyDue(std::span<const uint8_t> reply, bool repeated, const Destination &destination)
    {
        const auto now = Clock::now();
        if (repeated) {
            for (const PendingReply &pending : mPending)
                if (pending.destination == destination && sameRequest(reply, pending)) return pending.due;
            return now;
        }
        if (mOptions.delayMs == 0 && mOptions.jitterMs == 0) return now;
        const auto frame = hx::decodeFrame(reply);
        const std::size_t command = frame ? frame->command & ~hx::kReplyFlag : 0;
        if (mOptions.delayedCommands.any() && !mOptions.delayedCommands.test(command)) return now;
        const int jitter = mOptions.jitterMs > 0 ? std::uniform_int_distribution<int>(0, mOptions.jitterMs)(mRandom) : 0;
        return now + std::chrono::milliseconds(mOptions.delayMs + jitter);
    }

    void dispatch(std::span<const uint8_t> reply, bool repeated, const Destination &destination)
    {
        if (reply.empty()) return;
        const auto due = replyDue(reply, repeated, destination);
        if (due <= Clock::now()) {
            transmit(reply, destination);
            return;
        }
        if (mPending.size() >= kMaxPendingReplies) return;
        PendingReply &pending = mPending.emplace_back();
        pending.due = due;
        pending.destination = destination;
        pending.size = reply.size();
        std::copy(reply.begin(), reply.end(), pending.bytes);
    }

    bool holdsNothing() const { return mPending.empty() && mUp.empty() && mDown.empty(); }

    // Replies whose delay is over, requests and replies the links hand on.
    void sendDue()
    {
        const auto now = Clock::now();
        for (std::size_t i = 0; i < mPending.size();) {
            if (mPending[i].due > now) {
                ++i;
                continue;
            }
            transmit({mPending[i].bytes, mPending[i].size}, mPending[i].destination);
            mPending.erase(mPending.begin() + static_cast<std::ptrdiff_t>(i));
        }
        handOnDue(mUp, &Server::serve);
        handOnDue(mDown, &Server::putOnWire);
    }

    using Link = hxsim::FaultyLink<Destination>;
    using HandOn = void (Server::*)(std::span<const uint8_t>, const Destination &);

    void handOnDue(Link &link, HandOn handOn)
    {
        while (const auto *due = link.popDue(Clock::now())) (this->*handOn)({due->bytes, due->size}, due->tag);
    }

    // A frame through one of the links: handed on at once when the link has
    // no faults, else once it is due.
    void through(Link &link, std::span<const uint8_t> frame, const Destination &where, HandOn handOn)
    {
        if (link.passesThrough()) {
            (this->*handOn)(frame, where);
            return;
        }
        link.carry(frame, where, Clock::now(), lossApplies(frame));
        handOnDue(link, handOn);
    }

    // A request off the wire, on its way to the handler.
    void arrive(std::span<const uint8_t> request, const Destination &source)
    {
        through(mUp, request, source, &Server::serve);
    }

    void serve(std::span<const uint8_t> request, const Destination &source)
    {
        hxsim::RequestHandler &handler = source.serial ? mSerialHandler : mUdpHandler;
        const auto reply = handler.handle(request, source.peer);
        dispatch(reply, handler.repeated(), source);
    }

    void transmit(std::span<const uint8_t> reply, const Destination &destination)
    {
        through(mDown, reply, destination, &Server::putOnWire);
    }

    void putOnWire(std::span<const uint8_t> reply, const Destination &destination)
    {
        if (!destination.serial) {
            ::sendto(mUdp, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr *>(&destination.to),
                     destination.toLength);
            return;
        }
        for (std::size_t done = 0; done < reply.size();) {
            const ssize_t written = ::write(mSerial, reply.data() + done, reply.size() - done);
            if (written > 0) {
                done += static_cast<std::size_t>(written);
            } else if (written < 0 && errno == EAGAIN) {
                pollfd out{static_cast<hostio::Socket>(mSerial), POLLOUT, 0};
                if (hostio::pollSockets(&out, 1, 1000) <= 0) break;
            } else {
                break;
            }
        }
    }

    // One datagram per wake-up: in stop-and-wait traffic there is never a
    // second one waiting, and looking for it would cost a system call.
    void serveUdp(int flags)
    {
        sockaddr_in from{};
        socklen_t fromLength = sizeof(from);
        const ssize_t got = ::recvfrom(mUdp, mDatagram, sizeof(mDatagram), flags,
                                       reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (got < 0 || static_cast<std::size_t>(got) > hx::kMaxFrame) return;
        Destination source;
        source.to = from;
        source.toLength = fromLength;
        source.peer = static_cast<uint64_t>(from.sin_addr.s_addr) << 16 | from.sin_port;
        arrive({mDatagram, static_cast<std::size_t>(got)}, source);
    }

    void serveSerial()
    {
        auto space = mFramer.writableSpace();
        const ssize_t got = ::read(mSerial, space.data(), space.size());
        if (got <= 0) {
            // The other side of a pseudo-terminal closed; wait for it to
            // come back without spinning.
            if (got == 0 || (errno != EAGAIN && errno != EINTR)) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return;
        }
        mFramer.commit(static_cast<std::size_t>(got));
        mSerialLastByte = Clock::now();
        drainSerialFrames();
    }

    void drainSerialFrames()
    {
        while (auto frame = mFramer.next()) {
            Destination line;
            line.serial = true;
            arrive(*frame, line);
        }
        mSerialHasPartial = mFramer.hasPartialFrame();
    }

    Options mOptions;
#ifdef HXSIM_PICTURE
    PictureSink mPictureSink;
#endif
    bool mPanelStale = false;
    std::optional<LedPanel> mPanelShown;
    hxsim::PanelProblemNote mPanelProblem;
    hxsim::Controller mController;
    hxsim::RequestHandler mUdpHandler;
    hxsim::RequestHandler mSerialHandler;
    std::FILE *mLog = nullptr;
    hostio::Socket mUdp = hostio::kNoSocket;
    int mSerial = -1;
    Clock::time_point mBootEnd{};
    hx::StreamFramer mFramer;
    bool mSerialHasPartial = false;
    Clock::time_point mSerialLastByte{};
    std::mt19937 mRandom{std::random_device{}()};
    hxsim::FaultyLink<Destination> mUp{mOptions.up, static_cast<uint32_t>(mRandom())};
    hxsim::FaultyLink<Destination> mDown{mOptions.down, static_cast<uint32_t>(mRandom())};
    uint8_t mDatagram[hx::kMaxFrame + 1];
    std::vector<PendingReply> mPending;
};

} // namespace

int main(int argc, char **argv)
{
    Options options = parseOptions(argc, argv);
    if (!hostio::StopSignal::instance().catchRequests()) fail("cannot watch for stop requests");

    if (!options.window) {
        Server server(std::move(options));
        server.open();
        server.run();
        server.reportLinks();
        return 0;
    }

#ifdef HXSIM_PICTURE
    // The window lives on the main thread; requests are served on their own
    // thread as without a window, and each new picture is posted across.
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    hxsim::PanelWindow window(QStringLiteral("hxsim %1 (%2x%3)")
                                  .arg(QString::fromStdString(options.controller.name))
                                  .arg(options.controller.width)
                                  .arg(options.controller.height));
    Server server(std::move(options));
    server.setPictureSink([&window](const QImage &picture) {
        QMetaObject::invokeMethod(&window, [&window, picture] { window.showPicture(picture); }, Qt::QueuedConnection);
    });
    server.open();
    window.show();
    std::thread serving([&server] {
        server.run();
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QGuiApplication::exec();
    hostio::StopSignal::instance().request(); // the window was closed: stop serving too
    serving.join();
    server.reportLinks();
#endif
    return 0;
}
