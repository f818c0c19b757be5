#include "QtTestApp.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>

static QApplication *gApplication = nullptr;

QApplication &qtTestApp()
{
    static QTemporaryDir home;
    static int argc = 1;
    static char name[] = "marqora-test";
    static char *argv[] = {name, nullptr};
    if (!gApplication) {
        qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        gApplication = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    return *gApplication;
}

void endQtTestApp()
{
    delete gApplication;
    gApplication = nullptr;
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}
