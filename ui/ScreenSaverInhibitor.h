// Keeps the desktop from blanking the screen: the freedesktop ScreenSaver service's Inhibit
// call over the session bus while held, UnInhibit with its cookie when let go. Without a
// session bus, or without the service, nothing happens. The calls never wait for their replies,
// so a slow or missing service cannot stall the window.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace tessaly {

class ScreenSaverInhibitor : public QObject {
    Q_OBJECT
public:
    // Calls the service on `bus` (the session bus unless a test hands in another), with
    // `reason` for the user to read in the desktop's power settings.
    explicit ScreenSaverInhibitor(QString reason,
                                  QDBusConnection bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);
    // Lets go of a hold still in force.
    ~ScreenSaverInhibitor() override;
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    // Holds the screen awake (on) or lets it go (off); asking for what is already so does
    // nothing.
    void Hold(bool on);
    bool Held() const { return wanted_; }
    // The service has granted the hold and it has not been given back.
    bool InForce() const { return cookie_.has_value(); }

private:
    void Inhibited(std::uint32_t cookie);
    void Release();

    QString reason_;
    QDBusConnection bus_;
    bool wanted_ = false;
    bool pending_ = false;                // an Inhibit call awaits its reply
    std::optional<std::uint32_t> cookie_; // the service's hold in force
};

} // namespace tessaly
