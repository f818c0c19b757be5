// Marqora: keeps LED message displays showing the text files they watch.
#include "FrmClickSend.h"
#include "FrmMain.h"
#include "HX_Dll.h"
#include "MyString.h"
#include "PlatformSettings.h"

#include <QApplication>
#include <QIcon>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The window lives in the tray: hiding it must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addFile(QStringLiteral(":/icons/marqora-%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    PlatformSettings::applyComPortPaths();

    FMyString language;
    const std::string progPath = resolveProgPath(QCoreApplication::applicationDirPath().toStdString());
    TFormMain FormMain(language, progPath, hxTable());
    TFormClickSend FormClickSend(FormMain.mData, FormMain.mPlayLists, hxTable(), language.Language,
                                 [&FormMain] { FormMain.close(); });
    FormMain.attachClickSend(&FormClickSend);
    return app.exec();
}
