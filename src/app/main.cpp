// Marqora: keeps LED message displays showing the text files they watch.
#include "CommandLine.h"
#include "FrmClickSend.h"
#include "FrmMain.h"
#include "HX_Dll.h"
#include "MyString.h"
#include "PlatformSettings.h"
#include "ProgramSetup.h"
#include "Signals.h"
#include "SingleInstance.h"
#include "StatusReport.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::string programFolder()
{
    return resolveProgPath(QCoreApplication::applicationDirPath().toStdString());
}

// Long enough for an upload to stop between two blocks and switch the
// controller's output on again; a controller that has gone silent is not waited for.
constexpr auto kVisitsEndWithin = std::chrono::seconds(5);

}  // namespace

int main(int argc, char *argv[])
{
    ignoreBrokenPipes();
    // The console options need no screen: a shell on a sign PC has none.
    if (CommandLine::isConsoleCommand(argc, argv)) {
        QCoreApplication app(argc, argv);
        return CommandLine::runConsoleCommand(QCoreApplication::arguments(), programFolder());
    }

    QApplication app(argc, argv);
    if (const QString unexpected = CommandLine::unexpectedArguments(QCoreApplication::arguments());
        !unexpected.isEmpty()) {
        std::fprintf(stderr, "marqora: %s\n", unexpected.toUtf8().constData());
        return CommandLine::Usage;
    }
    const TerminationSignals endOnSignals;
    // The window lives in the tray: hiding it must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(programIcon());
    if (!installChineseQtTexts(app))
        qWarning("Qt's Chinese translations are missing in %s", qPrintable(qtTranslationsPath()));

    const std::string progPath = programFolder();
    SingleInstance instance(progPath);
    if (!instance.claim()) return CommandLine::handOver(instance);

    PlatformSettings::applyComPortPaths();
    FMyString language;
    TFormMain FormMain(language, progPath, hxTable());
    TFormClickSend FormClickSend(FormMain.mData, *FormMain.mWatch, hxTable(), language.Language,
                                 [&FormMain] { FormMain.close(); });
    FormMain.attachClickSend(&FormClickSend);

    instance.openWindow = [&FormMain] { return FormMain.openOnRequest(); };
    instance.statusReport = [&FormMain] {
        std::vector<DisplayStatus> displays;
        for (int slot = 0; slot < _MaxItem; ++slot) displays.push_back(FormMain.transferStatus().status(slot));
        return statusReport(displays);
    };
    const int result = app.exec();
    if (!FormMain.mWatch->shutdown(kVisitsEndWithin)) {
        // A visit still waits for a silent controller: its thread is left
        // behind, and nothing may be torn down under it. The lock it leaves
        // names a process that has ended, which the next start takes over.
        std::fflush(nullptr);
        std::_Exit(result);
    }
    return result;
}
