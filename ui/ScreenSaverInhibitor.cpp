#include "ui/ScreenSaverInhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace tessaly {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");

QDBusMessage Call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QString reason, QDBusConnection bus, QObject* parent)
    : QObject(parent), reason_(std::move(reason)), bus_(std::move(bus)) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
    Release();
}

void ScreenSaverInhibitor::Hold(bool on) {
    if (on == wanted_)
        return;
    wanted_ = on;
    if (!on) {
        Release();
        return;
    }
    if (pending_ || cookie_ || !bus_.isConnected())
        return;
    QDBusMessage inhibit = Call(QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("Tessaly") << reason_;
    pending_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(inhibit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                pending_ = false;
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isValid())
                    Inhibited(reply.value());
            });
}

void ScreenSaverInhibitor::Inhibited(std::uint32_t cookie) {
    cookie_ = cookie;
    // Let go meanwhile: the hold the service just granted ends at once.
    if (!wanted_)
        Release();
}

void ScreenSaverInhibitor::Release() {
    if (!cookie_)
        return;
    QDBusMessage uninhibit = Call(QStringLiteral("UnInhibit"));
    uninhibit << static_cast<uint>(*cookie_);
    cookie_.reset();
    bus_.send(uninhibit);
}

} // namespace tessaly
