// The main window and the click-send window under a real X server and window
// manager: without a tray the minimised window plays the part of hidden, and a
// tray that comes later is taken over.
#include "FrmClickSend.h"
#include "FrmMain.h"
#include "FrmPwd.h"
#include "HX_Dll.h"
#include "HxSim.h"
#include "PlatformSettings.h"
#include "QtMainWindowFixture.h"
#include "QtTestApp.h"
#include "XDesktop.h"

#include <QApplication>
#include <QSettings>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// The window state the platform last reported for a window.
class ReportedState : public QObject {
public:
    Qt::WindowStates watched(QWidget &widget)
    {
        QWindow *handle = widget.windowHandle();
        if (handle != mWindow) {
            mWindow = handle;
            mState = handle ? handle->windowStates() : Qt::WindowNoState;
            if (handle) handle->installEventFilter(this);
        }
        return mState;
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (object == mWindow && event->type() == QEvent::WindowStateChange && event->spontaneous())
            mState = mWindow->windowStates();
        return false;
    }

private:
    QWindow *mWindow = nullptr;
    Qt::WindowStates mState = Qt::WindowNoState;
};

XDesktop *gDesktop = nullptr;
std::string gMissing;

// One X server and window manager for the whole run: the application object
// connects to a display once.
class DesktopEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        for (const std::string &program : XDesktop::missingPrograms()) gMissing += program + " ";
        if (!gMissing.empty()) return;
        gDesktop = new XDesktop;
        qputenv("QT_QPA_PLATFORM", "xcb");
        // No session bus: a status-notifier service there would be a tray.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        qtTestApp();
    }
    void TearDown() override
    {
        endQtTestApp();
        delete gDesktop;
        gDesktop = nullptr;
    }
};

const auto *const gEnvironment = testing::AddGlobalTestEnvironment(new DesktopEnvironment);

bool contains(const std::vector<std::string> &names, const char *name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

class DesktopTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        if (!gMissing.empty()) GTEST_SKIP() << "not installed: " << gMissing;
        MainWindowFixture::SetUp();
        PlatformSettings::overrideSystemTray(std::nullopt);  // the desktop decides
        QSettings(QStringLiteral("Corvane"), QStringLiteral("VRX7300Marqora")).clear();
        storeDisplays([this](FMySetup &store) {
            store.mSetup[0] = watching.display();
            store.mSetup[1] = clickSend.display();
            store.mSetup[1].bFromFile = 0;
            store.mSetup[1].ASCPerLine = 16;
        });
    }
    void TearDown() override
    {
        if (!gDesktop) return;
        formClickSend.reset();
        MainWindowFixture::TearDown();
        gDesktop->stopTray();
    }

    // Starts the two windows as the program does and waits until the start-up
    // minimise and the click-send timer have run.
    TFormMain &startProgram()
    {
        window = std::make_unique<TFormMain>(language, dir.path(), hxTable());
        formClickSend = std::make_unique<TFormClickSend>(window->mData, *window->mWatch, hxTable(),
                                                         language.Language, [] {});
        window->attachClickSend(formClickSend.get());
        EXPECT_TRUE(waitUntil([this] { return window->mbClickSend && clickSendViewable(); }, 20000));
        reportedState.watched(*window);
        return *window;
    }

    // The window manager minimised the window and Qt has taken note: only then
    // can a restore be told from the minimise (Qt reads the state when it
    // handles the change, so a faster restore would hide the minimise).
    bool minimisedSeenByQt()
    {
        return mainState() == XDesktop::Iconic && reportedState.watched(*window).testFlag(Qt::WindowMinimized);
    }

    XDesktop::WmState mainState() { return gDesktop->wmState(static_cast<uint32_t>(window->winId())); }
    bool clickSendViewable()
    {
        return formClickSend->isVisible() && gDesktop->isViewable(static_cast<uint32_t>(formClickSend->winId()));
    }

    // Runs answer on the next password prompt once it is up, from inside its modal loop.
    void onNextPrompt(std::function<void(TFormPwd &)> answer)
    {
        auto *poll = new QTimer(window.get());
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll, answer] {
            auto *prompt = qobject_cast<TFormPwd *>(QApplication::activeModalWidget());
            if (!prompt || !prompt->isVisible()) return;
            controlsSeenAtPrompt = window->LEDList->isVisible();
            ++prompts;
            answer(*prompt);
            poll->deleteLater();
        });
        poll->start();
    }

    HxSim watching;
    HxSim clickSend;
    std::unique_ptr<TFormClickSend> formClickSend;
    ReportedState reportedState;
    int prompts = 0;
    bool controlsSeenAtPrompt = true;
};

}  // namespace

TEST_F(DesktopTest, WithoutATrayTheMinimisedWindowIsLockedAndTheClickSendWindowFollowsIt)
{
    ASSERT_TRUE(PlatformSettings::writeShowNeedPass(1));
    TFormMain &w = startProgram();
    EXPECT_EQ(w.TrayIcon, nullptr);
    EXPECT_TRUE(waitUntil([&] { return minimisedSeenByQt(); }));
    EXPECT_EQ(+w.mData.mSetup[0].TmrEnable, 1);
    const auto mainWindow = static_cast<uint32_t>(w.winId());
    // The minimised window is the program's one way back: it keeps its taskbar
    // button; the click-send window has none.
    EXPECT_EQ(gDesktop->transientFor(mainWindow), 0u);
    EXPECT_NE(gDesktop->transientFor(static_cast<uint32_t>(formClickSend->winId())), 0u);
    EXPECT_TRUE(contains(gDesktop->atomNames(static_cast<uint32_t>(formClickSend->winId()), "_NET_WM_WINDOW_TYPE"),
                         "_NET_WM_WINDOW_TYPE_UTILITY"));

    // Restored from the taskbar, the prompt comes up over an empty window;
    // closing it puts the window back.
    onNextPrompt([](TFormPwd &prompt) { prompt.reject(); });
    gDesktop->activateAsTaskbar(mainWindow);
    ASSERT_TRUE(waitUntil([&] { return prompts == 1 && minimisedSeenByQt(); }, 20000));
    EXPECT_FALSE(controlsSeenAtPrompt);
    EXPECT_FALSE(w.LEDList->isVisible());
    EXPECT_TRUE(clickSendViewable());
    EXPECT_TRUE(script.messages.empty());

    // A wrong password is told and puts the window back as well.
    onNextPrompt([](TFormPwd &prompt) {
        prompt.sPwd->setText(QStringLiteral("wrong"));
        prompt.BtnOK->click();
    });
    gDesktop->activateAsTaskbar(mainWindow);
    ASSERT_TRUE(waitUntil([&] { return prompts == 2 && !script.messages.empty() && minimisedSeenByQt(); }, 20000));
    EXPECT_EQ(script.messages[0].caption, QStringLiteral("错误"));
    EXPECT_TRUE(clickSendViewable());

    // The right one (none is stored: the empty entry) opens it on page 1.
    onNextPrompt([](TFormPwd &prompt) { prompt.BtnOK->click(); });
    gDesktop->activateAsTaskbar(mainWindow);
    ASSERT_TRUE(waitUntil([&] { return prompts == 3 && mainState() == XDesktop::Normal && !clickSendViewable(); },
                          20000));
    EXPECT_TRUE(w.LEDList->isVisible());
    EXPECT_EQ(w.MyPage->currentIndex(), 1);
    EXPECT_TRUE(w.ChkPromptPwd->isChecked());

    // Minimised through the window manager: the watch starts again and the
    // click-send window comes back.
    ASSERT_TRUE(w.saveSettings());
    ASSERT_EQ(+w.mData.mSetup[0].TmrEnable, 0);
    gDesktop->iconify(mainWindow);
    ASSERT_TRUE(waitUntil([&] { return minimisedSeenByQt() && clickSendViewable(); }, 20000));
    EXPECT_EQ(+w.mData.mSetup[0].TmrEnable, 1);
    EXPECT_FALSE(w.LEDList->isVisible());
}

TEST_F(DesktopTest, ATrayThatComesLaterIsTakenOver)
{
    TFormMain &w = startProgram();
    ASSERT_EQ(w.TrayIcon, nullptr);
    ASSERT_TRUE(waitUntil([&] { return mainState() == XDesktop::Iconic; }));

    const auto minimisedWindow = static_cast<uint32_t>(w.winId());
    gDesktop->startTray();
    ASSERT_TRUE(waitUntil([&] { return w.TrayIcon != nullptr; }, 20000));
    EXPECT_TRUE(w.TrayIcon->isVisible());
    EXPECT_FALSE(w.TrayIcon->icon().isNull());
    // Out of sight now means hidden in the tray: no taskbar button is left.
    EXPECT_TRUE(waitUntil([&] { return !w.isVisible() && gDesktop->wmState(minimisedWindow) == XDesktop::Withdrawn; }));
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(clickSendViewable());

    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(waitUntil([&] { return mainState() == XDesktop::Normal && !clickSendViewable(); }, 20000));
    EXPECT_TRUE(w.LEDList->isVisible());
    EXPECT_EQ(w.MyPage->currentIndex(), 1);
    const auto mainWindow = static_cast<uint32_t>(w.winId());
    EXPECT_NE(gDesktop->transientFor(mainWindow), 0u);
    EXPECT_TRUE(contains(gDesktop->atomNames(mainWindow, "_NET_WM_WINDOW_TYPE"), "_NET_WM_WINDOW_TYPE_UTILITY"));
    EXPECT_TRUE(gDesktop->hasProperty(mainWindow, "_NET_WM_ICON"));

    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(waitUntil([&] { return mainState() == XDesktop::Withdrawn && clickSendViewable(); }, 20000));
}

namespace {

// What a window asks the window manager for (Motif hints: the minimise or
// maximise function or button), and whether the window manager lets it maximise.
constexpr uint32_t Minimise[] = {0x08, 0x20}, Maximise[] = {0x10, 0x40};

bool asksFor(uint32_t window, const uint32_t (&functionAndButton)[2])
{
    const std::vector<uint32_t> hints = gDesktop->values32(window, "_MOTIF_WM_HINTS");
    return hints.size() < 3 || (hints[1] & functionAndButton[0]) || (hints[2] & functionAndButton[1]);
}

bool maximiseGranted(uint32_t window)
{
    return contains(gDesktop->atomNames(window, "_NET_WM_ALLOWED_ACTIONS"), "_NET_WM_ACTION_MAXIMIZE_HORZ");
}

}  // namespace

TEST_F(DesktopTest, PromptsMessagesAndTheFileDialogAreDialogsOfTheMainWindowAndNothingMaximises)
{
    gDesktop->startTray();
    TFormMain &w = startProgram();
    ASSERT_NE(w.TrayIcon, nullptr);
    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(waitUntil([&] { return mainState() == XDesktop::Normal; }, 20000));
    const auto mainWindow = static_cast<uint32_t>(w.winId());
    EXPECT_FALSE(asksFor(mainWindow, Maximise));
    EXPECT_FALSE(maximiseGranted(mainWindow));

    Dialogs::setScript(nullptr);  // the real dialogs, closed from their modal loop
    int looked = 0;
    const auto lookAtNextDialog = [&](bool fixedSize) {
        auto *poll = new QTimer(&w);
        QObject::connect(poll, &QTimer::timeout, poll, [&, poll, fixedSize] {
            QWidget *dialog = QApplication::activeModalWidget();
            const auto id = dialog ? static_cast<uint32_t>(dialog->winId()) : 0;
            // The allowed actions come once the window manager manages the window.
            if (!dialog || !gDesktop->isViewable(id) || !gDesktop->hasProperty(id, "_NET_WM_ALLOWED_ACTIONS")) return;
            ++looked;
            EXPECT_EQ(gDesktop->transientFor(id), mainWindow);
            const std::vector<std::string> types = gDesktop->atomNames(id, "_NET_WM_WINDOW_TYPE");
            EXPECT_TRUE(!types.empty() && types[0] == "_NET_WM_WINDOW_TYPE_DIALOG");
            EXPECT_FALSE(asksFor(id, Minimise) || asksFor(id, Maximise));
            EXPECT_TRUE(!fixedSize || !maximiseGranted(id));
            dialog->close();
            poll->deleteLater();
        });
        poll->start(20);
    };
    lookAtNextDialog(true);
    EXPECT_FALSE(TFormPwd::ask(&w, QStringLiteral("口令")));
    lookAtNextDialog(true);
    Dialogs::message(&w, QStringLiteral("    口令错误!    "), QStringLiteral("错误"));
    lookAtNextDialog(false);  // a file list may be made larger
    EXPECT_FALSE(Dialogs::openFile(&w, QStringLiteral("文本文件(*.txt)"), QString::fromStdString(dir.path()), true));
    EXPECT_EQ(looked, 3);
}
