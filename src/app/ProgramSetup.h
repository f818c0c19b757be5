// What every window of the program shares: its icon and Qt's own texts in
// Simplified Chinese, like every other text of the program.
#pragma once

#include <QIcon>
#include <QString>

class QCoreApplication;

// The program's icon in all its sizes, from the resources built into the program.
QIcon programIcon();

// Where Qt's Simplified Chinese translations are looked for.
QString qtTranslationsPath();

// Installs Qt's Simplified Chinese translations and the Chinese locale,
// whatever the system's locale; false when the translations are missing.
bool installChineseQtTexts(QCoreApplication &application);
