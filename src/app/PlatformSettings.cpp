#include "PlatformSettings.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include <cstdlib>

namespace PlatformSettings {

static QSettings userSettings()
{
    return QSettings(QStringLiteral("Corvane"), QStringLiteral("VRX7300Marqora"));
}

static std::optional<int> readInt(const char *name)
{
    QSettings settings = userSettings();
    QVariant value = settings.value(QLatin1String(name));
    bool ok = false;
    int number = value.toInt(&ok);
    if (settings.status() != QSettings::NoError || !value.isValid() || !ok) return std::nullopt;
    return number;
}

static bool writeInt(const char *name, int value)
{
    QSettings settings = userSettings();
    settings.setValue(QLatin1String(name), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

uint16_t readPassword()
{
    return static_cast<uint16_t>(readInt("Password").value_or(0) & 0xFFFF);
}

bool writePassword(uint16_t checkValue)
{
    return writeInt("Password", checkValue);
}

int readShowNeedPass()
{
    return readInt("ShowNeedPass").value_or(0);
}

bool writeShowNeedPass(int value)
{
    return writeInt("ShowNeedPass", value);
}

#ifdef _WIN32
static const char *const kRunKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

QString autoRunLocation()
{
    return QString::fromLatin1(kRunKey) + QStringLiteral("\\VRX_Marqora");
}

bool GetAutoRunState()
{
    QSettings run(QString::fromLatin1(kRunKey), QSettings::NativeFormat);
    return !run.value(QStringLiteral("VRX_Marqora")).toString().isEmpty();
}

bool setAutoRun(bool on, const QString &executablePath, QString *error)
{
    QSettings run(QString::fromLatin1(kRunKey), QSettings::NativeFormat);
    if (on)
        run.setValue(QStringLiteral("VRX_Marqora"), QDir::toNativeSeparators(executablePath));
    else
        run.remove(QStringLiteral("VRX_Marqora"));
    run.sync();
    if (run.status() == QSettings::NoError || !on) return true;
    if (error) *error = autoRunLocation();
    return false;
}
#else
QString autoRunLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/VRX_Marqora.desktop");
}

// The Exec line of the autostart file, unquoted; empty when there is none.
static QString autoRunExec()
{
    QFile file(autoRunLocation());
    if (!file.open(QIODevice::ReadOnly)) return {};
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(QLatin1String("Exec="))) continue;
        QString exec = line.mid(5).trimmed();
        if (exec.size() >= 2 && exec.startsWith(QLatin1Char('"')) && exec.endsWith(QLatin1Char('"')))
            exec = exec.mid(1, exec.size() - 2);
        return exec;
    }
    return {};
}

bool GetAutoRunState()
{
    return !autoRunExec().isEmpty();
}

bool setAutoRun(bool on, const QString &executablePath, QString *error)
{
    const QString location = autoRunLocation();
    if (!on) {
        QFile::remove(location);  // a failed removal is ignored
        return true;
    }
    QString exec = executablePath;
    if (exec.contains(QLatin1Char(' '))) exec = QLatin1Char('"') + exec + QLatin1Char('"');
    QDir().mkpath(QFileInfo(location).absolutePath());
    QSaveFile file(location);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        file.write("[Desktop Entry]\nType=Application\nName=VRX_Marqora\nExec=");
        file.write(exec.toUtf8());
        file.write("\nX-GNOME-Autostart-enabled=true\n");
        ok = file.commit();
    }
    if (!ok && error) *error = location + QStringLiteral(": ") + file.errorString();
    return ok;
}
#endif

void applyComPortPaths()
{
    QSettings settings = userSettings();
    for (int com = 1; com <= 32; ++com) {
        const QByteArray variable = "MARQORA_COM" + QByteArray::number(com);
        if (qEnvironmentVariableIsSet(variable.constData())) continue;
        const QString path = settings.value(QStringLiteral("ComPorts/Com%1").arg(com)).toString();
        if (!path.isEmpty()) qputenv(variable.constData(), QFile::encodeName(path));
    }
}

static std::optional<bool> gTrayOverride;

bool hasSystemTray()
{
    return gTrayOverride.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void overrideSystemTray(std::optional<bool> available)
{
    gTrayOverride = available;
}

}  // namespace PlatformSettings
