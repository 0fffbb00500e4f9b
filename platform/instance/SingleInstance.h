#pragma once
// One running player per user and display caption.
//
// The running player listens on a local socket in the user's runtime folder (a folder of
// mode 0700 that nobody else can enter), named from the main window's caption and the user
// id. A second launch connects and sends its location: a 4-byte big-endian byte count,
// then that many bytes of UTF-8 (at most kMaxLocationBytes; 0 bytes: only raise the
// window). The running player runs its hand-off handler and answers one byte only when the
// handler has returned, so the second launch ends after the location has been handled.
// A connection that breaks these rules, or stays incomplete for kMessageTimeoutMs, is
// dropped unanswered.
//
// The choice between "become the running player" and "hand over" is made under an
// exclusive lock on a file beside the socket, so two launches at the same moment end as
// one running player and one hand-off. A socket file that refuses connections was left by
// a player that died: it is replaced.

#include <QObject>
#include <QPointer>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace instance {

constexpr size_t kMaxLocationBytes = 64 * 1024;
constexpr int kMessageTimeoutMs = 10000;
constexpr int kConnectTimeoutMs = 5000;

// Makes sure `path` is a folder of this user's with mode 0700, creating it (mode 0700)
// when it does not exist. Returns an explanation when it is something else (a symbolic
// link, a file, a folder of another user or open to others); nullopt when it is fine.
std::optional<std::string> checkPrivateDirectory(const std::string& path);

// $XDG_RUNTIME_DIR when it is set to an absolute path, otherwise /tmp/mimlet-<uid>.
std::string runtimeDirectory();

// The socket's file name: the caption's letters and digits (others become '-') and the uid.
std::string socketName(const std::string& caption);

// The wire form of a location: the byte count, then the bytes.
std::string encodeLocation(const std::string& location);

enum class Role {
    Running,    // this process listens: it is the running player
    HandedOver, // another player ran the handler for our location and answered
    Alone,      // no socket could be set up: run without the hand-off
    Failed,     // a running player was found but did not take the location
};

class Instance : public QObject {
public:
    // Runs on the running player for each hand-off; an empty location asks only for the
    // window to be raised. The answer is sent when the handler returns.
    using Handler = std::function<void(const std::string& location)>;

    // `directory` empty: runtimeDirectory().
    explicit Instance(const std::string& caption, const std::string& directory = {});
    ~Instance() override;

    // Becomes the running player or hands `location` to the one that runs. Blocks, when
    // handing over, until the running player has answered or the connection broke.
    Role claim(const std::string& location);

    // Why claim() returned Alone or Failed.
    const std::string& error() const { return m_error; }
    std::string socketPath() const { return m_directory + "/" + m_name; }

    void setHandler(Handler handler) { m_handler = std::move(handler); }

private:
    void acceptConnections();
    void readMessage(QLocalSocket* pSocket);
    Role handOver(QLocalSocket& socket, const std::string& location);

    std::string m_directory;
    std::string m_name;
    std::string m_error;
    Handler m_handler;
    QLocalServer* m_pServer = nullptr; // owned as a child; null until claim() made us run
};

} // namespace instance
