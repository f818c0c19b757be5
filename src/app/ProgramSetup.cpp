#include "ProgramSetup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QIcon programIcon()
{
    // The resources live in a static library: without this reference the
    // linker leaves them out of the program.
    Q_INIT_RESOURCE(marqora);
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addFile(QStringLiteral(":/icons/marqora-%1.png").arg(size));
    return icon;
}

QString qtTranslationsPath()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool installChineseQtTexts(QCoreApplication &application)
{
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    auto *translator = new QTranslator(&application);
    if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), qtTranslationsPath())) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}
