// Marqora: keeps LED message displays showing the text files they watch.
#include "CommandLine.h"
#include "FrmClickSend.h"
#include "FrmMain.h"
#include "HX_Dll.h"
#include "MyString.h"
#include "PlatformSettings.h"
#include "ProgramSetup.h"
#include "SingleInstance.h"
#include "StatusReport.h"

#include <QApplication>

#include <cstdio>
#include <vector>

namespace {

std::string programFolder()
{
    return resolveProgPath(QCoreApplication::applicationDirPath().toStdString());
}

}  // namespace

int main(int argc, char *argv[])
{
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
    TFormClickSend FormClickSend(FormMain.mData, FormMain.mPlayLists, hxTable(), language.Language,
                                 [&FormMain] { FormMain.close(); });
    FormMain.attachClickSend(&FormClickSend);

    instance.openWindow = [&FormMain] { return FormMain.openOnRequest(); };
    instance.statusReport = [&FormMain] {
        std::vector<DisplayStatus> displays;
        for (int slot = 0; slot < _MaxItem; ++slot) displays.push_back(FormMain.mTransferStatus.status(slot));
        return statusReport(displays);
    };
    return app.exec();
}
