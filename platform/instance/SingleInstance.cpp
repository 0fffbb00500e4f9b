#include "instance/SingleInstance.h"

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QTimer>
#include <QVariant>

#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace instance {
namespace {

constexpr char kAnswer = 'K';
constexpr const char* kBufferProperty = "mimletMessage";

// Closes a file descriptor when it goes out of scope; the lock taken on it goes with it.
struct FileLock {
    int fd = -1;
    ~FileLock() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// True when the process at the other end of a connected local socket runs as our user.
bool peerIsSameUser(const QLocalSocket& socket) {
    ucred cred{};
    socklen_t n = sizeof cred;
    const int fd = static_cast<int>(socket.socketDescriptor());
    if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &n) != 0) {
        return false;
    }
    return cred.uid == ::getuid();
}

void drop(QLocalSocket* pSocket) {
    pSocket->abort();
    pSocket->deleteLater();
}

} // namespace

std::optional<std::string> checkPrivateDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return "cannot create " + path + ": " + std::strerror(errno);
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return "cannot inspect " + path + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        return path + " is not a folder";
    }
    if (st.st_uid != ::getuid()) {
        return path + " belongs to another user";
    }
    if ((st.st_mode & 077) != 0) {
        return path + " is open to other users";
    }
    return std::nullopt;
}

std::string runtimeDirectory() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    return "/tmp/mimlet-" + std::to_string(::getuid());
}

std::string socketName(const std::string& caption) {
    std::string name;
    for (unsigned char c : caption) {
        const bool keep =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        name += keep ? static_cast<char>(c) : '-';
    }
    return name + "-" + std::to_string(::getuid());
}

std::string encodeLocation(const std::string& location) {
    const uint32_t n = static_cast<uint32_t>(location.size());
    std::string wire;
    wire.reserve(4 + location.size());
    // Byte count, most significant byte first.
    wire += static_cast<char>((n >> 24) & 0xFF);
    wire += static_cast<char>((n >> 16) & 0xFF);
    wire += static_cast<char>((n >> 8) & 0xFF);
    wire += static_cast<char>(n & 0xFF);
    return wire + location;
}

Instance::Instance(const std::string& caption, const std::string& directory)
    : m_directory(directory.empty() ? runtimeDirectory() : directory), m_name(socketName(caption)) {
}

Instance::~Instance() = default;

Role Instance::claim(const std::string& location) {
    assert(m_pServer == nullptr);
    if (auto problem = checkPrivateDirectory(m_directory)) {
        m_error = *problem;
        return Role::Alone;
    }

    // Only one launch at a time decides whether it runs or hands over.
    FileLock lock;
    const std::string lockPath = socketPath() + ".lock";
    lock.fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock.fd < 0 || ::flock(lock.fd, LOCK_EX) != 0) {
        m_error = "cannot lock " + lockPath + ": " + std::strerror(errno);
        return Role::Alone;
    }

    const QString path = QString::fromStdString(socketPath());
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(kConnectTimeoutMs)) {
        ::close(lock.fd); // the running player needs no lock to answer
        lock.fd = -1;
        return handOver(probe, location);
    }
    const auto failure = probe.error();
    if (failure != QLocalSocket::ServerNotFoundError &&
        failure != QLocalSocket::ConnectionRefusedError) {
        // A player runs but cannot be reached; starting a second one would be wrong.
        m_error = "cannot reach the running player: " + probe.errorString().toStdString();
        return Role::Failed;
    }

    // Nobody listens: a socket file still there was left by a player that died.
    QLocalServer::removeServer(path);
    auto* pServer = new QLocalServer(this);
    pServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!pServer->listen(path)) {
        m_error = "cannot listen on " + socketPath() + ": " + pServer->errorString().toStdString();
        delete pServer;
        return Role::Alone;
    }
    m_pServer = pServer;
    connect(m_pServer, &QLocalServer::newConnection, this, &Instance::acceptConnections);
    return Role::Running;
}

Role Instance::handOver(QLocalSocket& socket, const std::string& location) {
    if (location.size() > kMaxLocationBytes) {
        m_error = "the location is longer than " + std::to_string(kMaxLocationBytes) + " bytes";
        return Role::Failed;
    }
    const std::string wire = encodeLocation(location);
    socket.write(wire.data(), static_cast<qint64>(wire.size()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kConnectTimeoutMs)) {
            m_error = "cannot send the location: " + socket.errorString().toStdString();
            return Role::Failed;
        }
    }
    // The running player answers when its handler has returned, which may take as long
    // as its user leaves a message box open: wait for as long as the connection lives.
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(-1)) {
            m_error = "the running player did not confirm the hand-off";
            return Role::Failed;
        }
    }
    char answer = 0;
    socket.read(&answer, 1);
    if (answer != kAnswer) {
        m_error = "the running player gave an unknown answer";
        return Role::Failed;
    }
    return Role::HandedOver;
}

void Instance::acceptConnections() {
    while (QLocalSocket* pSocket = m_pServer->nextPendingConnection()) {
        if (!peerIsSameUser(*pSocket)) {
            drop(pSocket);
            continue;
        }
        // A connection that has not delivered a whole message in time is dropped.
        auto* pTimer = new QTimer(pSocket);
        pTimer->setSingleShot(true);
        connect(pTimer, &QTimer::timeout, pSocket, [pSocket] { drop(pSocket); });
        pTimer->start(kMessageTimeoutMs);
        connect(pSocket, &QLocalSocket::readyRead, this, [this, pSocket] { readMessage(pSocket); });
        connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        if (pSocket->bytesAvailable() > 0) {
            readMessage(pSocket);
        }
    }
}

void Instance::readMessage(QLocalSocket* pSocket) {
    QByteArray message = pSocket->property(kBufferProperty).toByteArray();
    message += pSocket->readAll();
    if (message.size() < 4) {
        pSocket->setProperty(kBufferProperty, message);
        return;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(message.constData());
    const uint32_t n =
        (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    if (n > kMaxLocationBytes || static_cast<size_t>(message.size()) > 4 + size_t{n}) {
        drop(pSocket);
        return;
    }
    if (static_cast<size_t>(message.size()) < 4 + size_t{n}) {
        pSocket->setProperty(kBufferProperty, message);
        return;
    }
    const QByteArray bytes = message.mid(4);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() || bytes.contains('\0')) {
        drop(pSocket);
        return;
    }

    // Whole and well formed: nothing more is read from this connection.
    pSocket->disconnect(this);
    pSocket->setProperty(kBufferProperty, QVariant());
    for (QTimer* pTimer : pSocket->findChildren<QTimer*>()) {
        pTimer->stop();
    }
    QPointer<QLocalSocket> guard(pSocket);
    if (m_handler) {
        // The handler may run modal loops; the connection may go meanwhile.
        m_handler(text.toStdString());
    }
    if (guard) {
        guard->write(&kAnswer, 1);
        guard->flush();
        guard->disconnectFromServer();
    }
}

} // namespace instance
