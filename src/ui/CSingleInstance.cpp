#include "ui/CSingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char kRequest[] = "come forward\n";
constexpr char kAnswer[] = "ok\n";

} // namespace

CSingleInstance::CSingleInstance(const QString& folder, QObject* parent) : QObject(parent), m_folder(folder) {}

CSingleInstance::~CSingleInstance() {
    if (m_server != nullptr) {
        m_server->close(); // removes the socket file
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd); // releases the lock
    }
}

// The socket's path. Where the folder's path is too long for a socket address, the socket
// goes to the user's runtime folder instead, named after the data folder.
QString CSingleInstance::SocketName() const {
    const QString path = QDir(m_folder).absoluteFilePath(QStringLiteral("Ringvale.sock"));
    if (path.toLocal8Bit().size() < static_cast<qsizetype>(sizeof(sockaddr_un{}.sun_path))) {
        return path;
    }
    const QByteArray hash = QCryptographicHash::hash(path.toLocal8Bit(), QCryptographicHash::Sha1).toHex().left(16);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR", QDir::tempPath());
    return QDir(runtime).absoluteFilePath(QStringLiteral("ringvale-%1.sock").arg(QString::fromLatin1(hash)));
}

bool CSingleInstance::BecomeTheFirst(std::function<void()> onComeForward) {
    const QByteArray lockPath = QDir(m_folder).absoluteFilePath(QStringLiteral("Ringvale.lock")).toLocal8Bit();
    m_lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_lockFd < 0) {
        return true; // a folder without a lock: run as before rather than not at all
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
        return false;
    }
    m_onComeForward = std::move(onComeForward);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, any socket file left there is a crashed copy's.
    QLocalServer::removeServer(SocketName());
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
    m_server->listen(SocketName());
    return true;
}

void CSingleInstance::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            if (socket->readLine() == kRequest && m_onComeForward) {
                m_onComeForward();
            }
            socket->write(kAnswer);
            socket->disconnectFromServer();
        });
    }
}

bool CSingleInstance::AskTheFirstToComeForward(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(SocketName());
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            return false;
        }
    }
    return socket.readLine() == kAnswer;
}
