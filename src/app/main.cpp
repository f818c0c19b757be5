// Marqora: keeps LED message displays showing the text files they watch.
#include "FrmClickSend.h"
#include "FrmMain.h"
#include "HX_Dll.h"
#include "MyString.h"
#include "PlatformSettings.h"
#include "ProgramSetup.h"
#include "Signals.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Long enough for an upload to stop between two blocks and switch the
// controller's output on again; a controller that has gone silent is not waited for.
constexpr auto kVisitsEndWithin = std::chrono::seconds(5);

}  // namespace

int main(int argc, char *argv[])
{
    ignoreBrokenPipes();
    QApplication app(argc, argv);
    const TerminationSignals endOnSignals;
    // The window lives in the tray: hiding it must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(programIcon());
    if (!installChineseQtTexts(app))
        qWarning("Qt's Chinese translations are missing in %s", qPrintable(qtTranslationsPath()));
    PlatformSettings::applyComPortPaths();

    FMyString language;
    const std::string progPath = resolveProgPath(QCoreApplication::applicationDirPath().toStdString());
    TFormMain FormMain(language, progPath, hxTable());
    TFormClickSend FormClickSend(FormMain.mData, *FormMain.mWatch, hxTable(), language.Language,
                                 [&FormMain] { FormMain.close(); });
    FormMain.attachClickSend(&FormClickSend);
    const int result = app.exec();
    if (!FormMain.mWatch->shutdown(kVisitsEndWithin)) {
        // A visit still waits for a silent controller: its thread is left
        // behind, and nothing may be torn down under it.
        std::fflush(nullptr);
        std::_Exit(result);
    }
    return result;
}
