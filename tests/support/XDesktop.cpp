#include "XDesktop.h"

#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kReadyTimeout = std::chrono::seconds(20);

bool onPath(const std::string &program)
{
    const char *path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> own(Reply *reply)
{
    return ReplyPtr<Reply>(reply, &std::free);
}

}  // namespace

std::vector<std::string> XDesktop::missingPrograms()
{
    std::vector<std::string> missing;
    for (const char *program : {"Xvfb", "openbox", "trayer"})
        if (!onPath(program)) missing.emplace_back(program);
    return missing;
}

pid_t XDesktop::launch(const std::vector<std::string> &args, int keepFd)
{
    std::vector<std::string> copy = args;
    std::vector<char *> argv;
    for (auto &arg : copy) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A test that dies takes its desktop with it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        if (keepFd >= 0) ::fcntl(keepFd, F_SETFD, 0);
        ::execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) throw std::runtime_error("cannot start " + args[0]);
    return pid;
}

void XDesktop::stop(pid_t &pid)
{
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}

XDesktop::XDesktop()
{
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("cannot create a pipe for Xvfb");
    mServer = launch({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1024x768x24",
                      "-nolisten", "tcp", "-noreset"},
                     ready[1]);
    ::close(ready[1]);
    // Xvfb writes the display number it took once it accepts connections.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + kReadyTimeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd pfd{ready[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
        char c;
        if (::read(ready[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    ::close(ready[0]);
    if (number.empty()) {
        stop(mServer);
        throw std::runtime_error("Xvfb did not report its display within 20 s");
    }
    mDisplay = ":" + number;
    mConnection = xcb_connect(mDisplay.c_str(), nullptr);
    if (xcb_connection_has_error(mConnection)) {
        xcb_disconnect(mConnection);
        mConnection = nullptr;
        stop(mServer);
        throw std::runtime_error("cannot connect to Xvfb on " + mDisplay);
    }
    ::setenv("DISPLAY", mDisplay.c_str(), 1);
    mWindowManager = launch({"openbox", "--sm-disable"});
    if (!waitFor(&XDesktop::windowManagerReady)) {
        shutDown();
        throw std::runtime_error("openbox did not take over " + mDisplay + " within 20 s");
    }
}

XDesktop::~XDesktop()
{
    shutDown();
}

void XDesktop::shutDown()
{
    stopTray();
    stop(mWindowManager);
    if (mConnection) xcb_disconnect(mConnection);
    mConnection = nullptr;
    stop(mServer);
}

void XDesktop::startTray()
{
    if (mTray > 0) return;
    mTray = launch({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                    "--SetDockType", "true", "--transparent", "false"});
    if (!waitFor(&XDesktop::trayReady)) {
        stopTray();
        throw std::runtime_error("trayer did not take the tray selection within 20 s");
    }
}

void XDesktop::stopTray()
{
    stop(mTray);
}

bool XDesktop::waitFor(bool (XDesktop::*condition)())
{
    const auto deadline = std::chrono::steady_clock::now() + kReadyTimeout;
    while (!(this->*condition)()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

uint32_t XDesktop::root()
{
    return xcb_setup_roots_iterator(xcb_get_setup(mConnection)).data->root;
}

uint32_t XDesktop::atom(const char *name)
{
    auto reply = own(xcb_intern_atom_reply(
        mConnection, xcb_intern_atom(mConnection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<uint32_t>(XCB_ATOM_NONE);
}

bool XDesktop::windowManagerReady()
{
    auto reply = own(xcb_get_property_reply(
        mConnection,
        xcb_get_property(mConnection, 0, root(), atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    return reply && xcb_get_property_value_length(reply.get()) == 4;
}

bool XDesktop::trayReady()
{
    auto reply = own(xcb_get_selection_owner_reply(
        mConnection, xcb_get_selection_owner(mConnection, atom("_NET_SYSTEM_TRAY_S0")), nullptr));
    return reply && reply->owner != XCB_WINDOW_NONE;
}

XDesktop::WmState XDesktop::wmState(uint32_t window)
{
    const uint32_t wmStateAtom = atom("WM_STATE");
    auto reply = own(xcb_get_property_reply(
        mConnection, xcb_get_property(mConnection, 0, window, wmStateAtom, wmStateAtom, 0, 2), nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) < 4) return Withdrawn;
    return static_cast<WmState>(*static_cast<const uint32_t *>(xcb_get_property_value(reply.get())));
}

bool XDesktop::isViewable(uint32_t window)
{
    auto reply = own(xcb_get_window_attributes_reply(mConnection, xcb_get_window_attributes(mConnection, window),
                                                     nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::vector<std::string> XDesktop::atomNames(uint32_t window, const char *property)
{
    std::vector<std::string> names;
    auto reply = own(xcb_get_property_reply(
        mConnection, xcb_get_property(mConnection, 0, window, atom(property), XCB_ATOM_ATOM, 0, 64), nullptr));
    if (!reply) return names;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i) {
        auto name = own(xcb_get_atom_name_reply(mConnection, xcb_get_atom_name(mConnection, atoms[i]), nullptr));
        if (name) names.emplace_back(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
    }
    return names;
}

bool XDesktop::hasProperty(uint32_t window, const char *property)
{
    auto reply = own(xcb_get_property_reply(
        mConnection, xcb_get_property(mConnection, 0, window, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 1),
        nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

std::vector<uint32_t> XDesktop::values32(uint32_t window, const char *property)
{
    auto reply = own(xcb_get_property_reply(
        mConnection, xcb_get_property(mConnection, 0, window, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
        nullptr));
    if (!reply || reply->format != 32) return {};
    const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    return std::vector<uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

uint32_t XDesktop::transientFor(uint32_t window)
{
    const std::vector<uint32_t> owner = values32(window, "WM_TRANSIENT_FOR");
    return owner.empty() ? uint32_t{XCB_WINDOW_NONE} : owner[0];
}

void XDesktop::sendToRoot(uint32_t window, const char *type, uint32_t data0, uint32_t data1)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom(type);
    message.data.data32[0] = data0;
    message.data.data32[1] = data1;
    xcb_send_event(mConnection, 0, root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(mConnection);
}

void XDesktop::activateAsTaskbar(uint32_t window)
{
    constexpr uint32_t fromPager = 2;
    sendToRoot(window, "_NET_ACTIVE_WINDOW", fromPager, XCB_CURRENT_TIME);
}

void XDesktop::iconify(uint32_t window)
{
    sendToRoot(window, "WM_CHANGE_STATE", Iconic, 0);
}
