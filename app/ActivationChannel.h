// The channel between a second copy and the running copy: the running copy listens on a
// per-user local socket; a second copy connects, sends one request line and waits for the
// acknowledgement. The running copy reads every client asynchronously with a size cap and
// a timeout, so a client that sends garbage, nothing, or never closes cannot block it.
#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <chrono>
#include <deque>
#include <functional>

class QLocalSocket;

namespace tessaly {

// The request a second copy sends and the reply it waits for.
inline constexpr char kActivateRequest[] = "activate\n";
inline constexpr char kActivateReply[] = "ok\n";

class ActivationServer : public QObject {
public:
    // The longest request line accepted, newline included; longer input drops the client.
    static constexpr qint64 kMaxRequestBytes = 64;
    // At most this many clients are served at once; a newer one evicts the oldest.
    static constexpr std::size_t kMaxClients = 16;

    explicit ActivationServer(std::function<void()> onActivate, QObject* parent = nullptr);
    ~ActivationServer() override;

    ActivationServer(const ActivationServer&) = delete;
    ActivationServer& operator=(const ActivationServer&) = delete;

    // Listens at path, a socket only this user may connect to. With replaceExisting a socket
    // left there (by a copy that died) is removed first: only the holder of the instance
    // lock may ask for that. Returns false, with errorString() set, when listening fails.
    bool Listen(const QString& path, bool replaceExisting);

    // How long a client may take to send its request before it is dropped.
    void SetClientTimeout(std::chrono::milliseconds timeout) { clientTimeout_ = timeout; }

    QString errorString() const { return server_.errorString(); }
    std::size_t clientCount() const { return clients_.size(); }

private:
    void AcceptPending();
    void ReadRequest(QLocalSocket* client);
    void Drop(QLocalSocket* client);
    bool Forget(QLocalSocket* client);

    QLocalServer server_;
    std::function<void()> onActivate_;
    std::deque<QLocalSocket*> clients_; // oldest first; each is a child of this object
    std::chrono::milliseconds clientTimeout_{1000};
};

// Connects to the running copy at path and asks it to come to the front, retrying while
// nobody listens yet, for at most timeout in all. Blocks the calling thread; meant for a
// copy that has no window. Returns true when the running copy acknowledged the request.
bool SendActivationRequest(const QString& path, std::chrono::milliseconds timeout);

} // namespace tessaly
