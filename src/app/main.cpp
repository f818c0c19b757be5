// Marqora: keeps LED message displays showing the text files they watch.
#include "FrmClickSend.h"
#include "FrmMain.h"
#include "HX_Dll.h"
#include "MyString.h"
#include "PlatformSettings.h"
#include "ProgramSetup.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
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
    return app.exec();
}
