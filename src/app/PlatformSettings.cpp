#include "PlatformSettings.h"

#include "settings/FileIO.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include <cstdlib>
#include <memory>

namespace PlatformSettings {

// The per-user settings; nothing when their file is there but is no regular
// file, which QSettings would open blindly (a FIFO blocks it for ever). On
// Linux only this one file is read, the way it is the only one written.
static std::unique_ptr<QSettings> userSettings()
{
#ifdef _WIN32
    return std::make_unique<QSettings>(QStringLiteral("Corvane"), QStringLiteral("VRX7300Marqora"));
#else
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/Corvane/VRX7300Marqora.conf");
    if (fileKind(QFile::encodeName(file).toStdString()) == FileKind::Other) return nullptr;
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
#endif
}

static std::optional<int> readInt(const char *name)
{
    const auto settings = userSettings();
    if (!settings) return std::nullopt;
    QVariant value = settings->value(QLatin1String(name));
    bool ok = false;
    int number = value.toInt(&ok);
    if (settings->status() != QSettings::NoError || !value.isValid() || !ok) return std::nullopt;
    return number;
}

static bool writeInt(const char *name, int value)
{
    const auto settings = userSettings();
    if (!settings) return false;
    settings->setValue(QLatin1String(name), value);
    settings->sync();
    return settings->status() == QSettings::NoError;
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
    const auto content = readWholeFile(QFile::encodeName(autoRunLocation()).toStdString());
    if (!content) return {};
    for (const QByteArray &rawLine : QByteArray::fromStdString(*content).split('\n')) {
        QString line = QString::fromUtf8(rawLine).trimmed();
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
    const auto settings = userSettings();
    if (!settings) return;
    for (int com = 1; com <= 32; ++com) {
        const QByteArray variable = "MARQORA_COM" + QByteArray::number(com);
        if (qEnvironmentVariableIsSet(variable.constData())) continue;
        const QString path = settings->value(QStringLiteral("ComPorts/Com%1").arg(com)).toString();
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
