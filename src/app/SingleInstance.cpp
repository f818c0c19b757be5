#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// A request is one short word; anything longer, or a client that says nothing,
// is dropped rather than kept waiting.
constexpr qint64 MaxRequest = 64;
constexpr int RequestTimeoutMs = 2000;

QString runtimeFolder()
{
#ifdef Q_OS_UNIX
    // A shell without a login session (su, sudo -u) has no XDG_RUNTIME_DIR;
    // the user's folder under /run/user is still the one the desktop session
    // and the user service share.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QFileInfo userRun(QStringLiteral("/run/user/%1").arg(::getuid()));
        if (userRun.isDir() && userRun.ownerId() == ::getuid()) return userRun.filePath();
    }
#endif
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

// The same folder reached by another spelling (a link, "..", a missing
// separator) gives the same name.
QString instanceName(const QString &progPath)
{
    const QFileInfo folder(progPath);
    const QString canonical = folder.canonicalFilePath().isEmpty() ? folder.absoluteFilePath()
                                                                   : folder.canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256);
    return runtimeFolder() + QStringLiteral("/marqora-") + QString::fromLatin1(hash.toHex().left(16));
}

void logLine(const QString &text)
{
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                         QStringLiteral(" marqora: ") + text;
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

}  // namespace

SingleInstance::SingleInstance(const std::string &progPath)
    : mProgPath(QString::fromStdString(progPath)),
      mServerName(instanceName(mProgPath) + QStringLiteral(".socket")),
      mLock(instanceName(mProgPath) + QStringLiteral(".lock"))
{
    // Only a lock whose process has ended is stale, however long ago it was taken.
    mLock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    if (!mLock.tryLock(0)) {
        if (mLock.error() == QLockFile::LockFailedError) return false;
        logLine(QStringLiteral("无法建立锁文件 %1, 不能发现再次启动").arg(mLock.fileName()));
        return true;
    }
    mServer = std::make_unique<QLocalServer>();
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a Marqora that ended without removing it; the lock says
    // no other one listens there.
    QLocalServer::removeServer(mServerName);
    if (!mServer->listen(mServerName))
        logLine(QStringLiteral("无法监听 %1: %2").arg(mServerName, mServer->errorString()));
    connect(mServer.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = mServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
            QTimer::singleShot(RequestTimeoutMs, socket, [socket] { socket->abort(); });
        }
    });
    return true;
}

void SingleInstance::serve(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > MaxRequest) socket->abort();
        return;
    }
    socket->write(answer(socket->readLine(MaxRequest).trimmed()));
    socket->disconnectFromServer();  // after what was written has gone
}

QByteArray SingleInstance::answer(const QByteArray &request)
{
    if (request == StatusRequest) return statusReport ? QByteArray::fromStdString(statusReport()) : QByteArray();
    if (request != OpenRequest) return {};
    // The answer goes at once: the opening may wait for a password for as long
    // as the user takes.
    QTimer::singleShot(0, this, [this] {
        if (!openWindow) return;
        logLine(openWindow() ? QStringLiteral("再次启动: 窗口已打开") : QStringLiteral("再次启动: 窗口未打开"));
    });
    return "opening " + QGuiApplication::platformName().toUtf8() + "\n";
}

std::optional<QByteArray> SingleInstance::ask(const char *request, int timeoutMs, bool waitForListener) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(mServerName);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
        if (!waitForListener || deadline.hasExpired()) return std::nullopt;
        QThread::msleep(20);
    }
    socket.write(QByteArray(request) + "\n");
    QByteArray answer;
    while (socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) answer += socket.readAll();
    answer += socket.readAll();
    // The answer is complete when the other side has closed the connection.
    if (socket.state() == QLocalSocket::ConnectedState) return std::nullopt;
    return answer;
}
