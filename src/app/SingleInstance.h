// One Marqora per user and program folder: the first start holds a lock file
// and listens on a local socket; a later start (the menu entry clicked twice,
// autostart beside the user service) asks it over the socket to open its
// window and ends, and `marqora --status` asks it how the displays stand.
// Both live in the user's runtime folder, named after the program folder.
#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The requests a later start sends, one line each.
    static constexpr const char *OpenRequest = "open";
    static constexpr const char *StatusRequest = "status";

    explicit SingleInstance(const std::string &progPath);
    ~SingleInstance() override;

    // Takes the lock and listens; false when another Marqora holds the lock.
    // A lock left by a process that has ended does not count. When the lock
    // cannot be taken at all (no runtime folder), this start goes on alone.
    bool claim();

    // What the first start does for a later one: open the window (true when it
    // is open afterwards), and the status report text.
    std::function<bool()> openWindow;
    std::function<std::string()> statusReport;

    // Sends request to the Marqora that holds the lock and returns its whole
    // answer, or nothing when none listens or it does not answer in time.
    // waitForListener: it may have taken the lock a moment ago and not listen
    // yet (two starts at once), so connecting is tried again until the time is up.
    std::optional<QByteArray> ask(const char *request, int timeoutMs, bool waitForListener) const;

    QString lockFile() const { return mLock.fileName(); }
    const QString &progPath() const { return mProgPath; }

private:
    void serve(class QLocalSocket *socket);
    QByteArray answer(const QByteArray &request);

    QString mProgPath;
    QString mServerName;
    QLockFile mLock;
    std::unique_ptr<QLocalServer> mServer;
};
