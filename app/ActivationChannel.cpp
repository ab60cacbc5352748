#include "app/ActivationChannel.h"

#include "ui/Guard.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace tessaly {

ActivationServer::ActivationServer(std::function<void()> onActivate, QObject* parent)
    : QObject(parent), onActivate_(std::move(onActivate)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &ActivationServer::AcceptPending);
}

ActivationServer::~ActivationServer() {
    // Closing removes the socket file, so the next copy does not meet a dead socket.
    server_.close();
}

bool ActivationServer::Listen(const QString& path, bool replaceExisting) {
    if (replaceExisting)
        QLocalServer::removeServer(path);
    return server_.listen(path);
}

void ActivationServer::AcceptPending() {
    while (QLocalSocket* client = server_.nextPendingConnection()) {
        client->setParent(this);
        // Qt then reads no more than this from the kernel, so the cap bounds memory too.
        client->setReadBufferSize(kMaxRequestBytes);
        if (clients_.size() >= kMaxClients)
            Drop(clients_.front());
        clients_.push_back(client);
        connect(client, &QLocalSocket::readyRead, this, [this, client] { ReadRequest(client); });
        connect(client, &QLocalSocket::disconnected, this, [this, client] { Drop(client); });
        QTimer::singleShot(clientTimeout_, client, [this, client] { Drop(client); });
    }
}

void ActivationServer::ReadRequest(QLocalSocket* client) {
    if (std::find(clients_.begin(), clients_.end(), client) == clients_.end())
        return; // already answered or dropped
    if (!client->canReadLine()) {
        if (client->bytesAvailable() >= kMaxRequestBytes)
            Drop(client);
        return;
    }
    const QByteArray line = client->readLine(kMaxRequestBytes + 1);
    if (line != kActivateRequest) {
        Drop(client);
        return;
    }
    Forget(client);
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    const QPointer<QLocalSocket> alive(client);
    Guarded(onActivate_);
    if (!alive)
        return;
    if (client->state() != QLocalSocket::ConnectedState) {
        client->deleteLater();
        return;
    }
    // The reply is flushed before the connection closes; disconnected then deletes it.
    client->write(kActivateReply);
    client->disconnectFromServer();
}

bool ActivationServer::Forget(QLocalSocket* client) {
    const auto it = std::find(clients_.begin(), clients_.end(), client);
    if (it == clients_.end())
        return false;
    clients_.erase(it);
    return true;
}

void ActivationServer::Drop(QLocalSocket* client) {
    if (!Forget(client))
        return;
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}

namespace {

int RemainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
}

// One connection attempt: true when the running copy acknowledged the request.
bool TryActivation(const QString& path, const QDeadlineTimer& deadline) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(RemainingMs(deadline)))
        return false;
    socket.write(kActivateRequest);
    if (!socket.waitForBytesWritten(RemainingMs(deadline)))
        return false;
    QByteArray reply;
    const auto replySize = static_cast<qint64>(sizeof(kActivateReply) - 1);
    while (reply.size() < replySize && socket.waitForReadyRead(RemainingMs(deadline)))
        reply += socket.read(replySize - reply.size());
    reply += socket.read(replySize - reply.size()); // what came with the close
    return reply == kActivateReply;
}

} // namespace

bool SendActivationRequest(const QString& path, std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    constexpr int kRetryPauseMs = 50;
    while (true) {
        if (TryActivation(path, deadline))
            return true;
        const int left = RemainingMs(deadline);
        if (left == 0)
            return false;
        QThread::msleep(static_cast<unsigned long>(std::min(left, kRetryPauseMs)));
    }
}

} // namespace tessaly
