#pragma once

// A real X desktop for tests whose subject is how windows behave under a
// window manager: Xvfb on a free display with openbox, and on demand the
// XEmbed tray trayer. Every program is started here and stopped by its pid.
//
//   XDesktop desktop;                  // Xvfb + openbox, ready when it returns
//   setenv("DISPLAY", desktop.display().c_str(), 1);
//   desktop.startTray();               // returns once the tray owns its selection
//   desktop.wmState(window) == XDesktop::Iconic
//
// The constructor throws std::runtime_error when a program cannot be started
// or does not get ready within 20 s. missingPrograms() names the programs that
// are not installed, so a test can skip before trying.

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

struct xcb_connection_t;

class XDesktop {
public:
    XDesktop();
    ~XDesktop();
    XDesktop(const XDesktop &) = delete;
    XDesktop &operator=(const XDesktop &) = delete;

    // The programs among Xvfb, openbox and trayer that are not on the PATH.
    static std::vector<std::string> missingPrograms();

    // ":N".
    const std::string &display() const { return mDisplay; }

    void startTray();
    void stopTray();

    // ICCCM WM_STATE of a client window; Withdrawn when it has none.
    enum WmState { Withdrawn = 0, Normal = 1, Iconic = 3 };
    WmState wmState(uint32_t window);
    // Whether the window and all its ancestors are mapped.
    bool isViewable(uint32_t window);
    // The atom names of an ATOM-list property (_NET_WM_WINDOW_TYPE, _NET_WM_STATE).
    std::vector<std::string> atomNames(uint32_t window, const char *property);
    // Whether the window carries the property at all.
    bool hasProperty(uint32_t window, const char *property);
    // The values of a property of 32-bit items (_MOTIF_WM_HINTS), empty without it.
    std::vector<uint32_t> values32(uint32_t window, const char *property);
    // The window named in WM_TRANSIENT_FOR, 0 when there is none.
    uint32_t transientFor(uint32_t window);

    // Asks the window manager to raise and focus the window as a taskbar does
    // (_NET_ACTIVE_WINDOW from a pager), which also restores it when minimised.
    void activateAsTaskbar(uint32_t window);
    // Asks the window manager to minimise the window, as its minimise button does.
    void iconify(uint32_t window);

private:
    static pid_t launch(const std::vector<std::string> &args, int keepFd = -1);
    static void stop(pid_t &pid);
    void shutDown();
    uint32_t atom(const char *name);
    uint32_t root();
    bool waitFor(bool (XDesktop::*condition)());
    bool windowManagerReady();
    bool trayReady();
    void sendToRoot(uint32_t window, const char *type, uint32_t data0, uint32_t data1);

    std::string mDisplay;
    pid_t mServer = -1;
    pid_t mWindowManager = -1;
    pid_t mTray = -1;
    xcb_connection_t *mConnection = nullptr;
};
