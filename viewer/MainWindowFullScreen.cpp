// The main window in full screen and its slideshow: the window applies what the model's
// FullScreenMode and Slideshow decide, with the window system's state and a timer.
#include "model/FullScreenMode.h"
#include "pick/PickWindow.h"
#include "ui/Guard.h"
#include "ui/ScreenSaverInhibitor.h"
#include "ui/WindowFrame.h"
#include "viewer/MainWindow.h"
#include "viewer/ViewUpdate.h"

#include <QApplication>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>

namespace tessaly {

namespace {

Rect ToRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

} // namespace

void MainWindow::CreateSlideshow() {
    slideshowTimer_ = new QTimer(this);
    slideshowTimer_->setSingleShot(true);
    slideshowTimer_->setTimerType(Qt::PreciseTimer);
    connect(slideshowTimer_, &QTimer::timeout, this,
            [this] { Guarded([this] { SlideshowTick(Slideshow::Clock::now()); }, this); });
    screenAwake_ = new ScreenSaverInhibitor(QStringLiteral("スライドショー"),
                                            QDBusConnection::sessionBus(), this);
}

// --- Full screen ---

void MainWindow::ToggleFullScreen() {
    const ViewUpdate update(*this);
    if (model_.FullScreen().On()) {
        LeaveFullScreen();
        return;
    }
    const QScreen* on = screen();
    if (on == nullptr)
        return;
    // The window system covers the screen (the rectangle Enter names) with the window in the
    // full-screen state; a geometry set on top would end that state.
    if (!model_.FullScreen().Enter({ToRect(geometry()), isMaximized()}, ToRect(on->geometry())))
        return;
    // The pick windows belong to this window before it covers the screen, so that the window
    // manager lifts them with it instead of covering them.
    ShowPicksOwner();
    setWindowState(windowState() | Qt::WindowFullScreen);
}

void MainWindow::LeaveFullScreen() {
    const std::optional<WindowPlace> back = model_.FullScreen().Leave();
    if (!back)
        return;
    Qt::WindowStates state = windowState() & ~Qt::WindowFullScreen;
    state.setFlag(Qt::WindowMaximized, back->maximised);
    setWindowState(state);
    // The window system puts the window back at the place and size it had (the place kept);
    // a geometry set here as well would race with its own report of the change.
}

void MainWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    // Full screen ended by the window manager (its own key, say): the model follows, and the
    // window manager has put the window back itself.
    if (e->type() == QEvent::WindowStateChange && model_.FullScreen().On() &&
        !(windowState() & Qt::WindowFullScreen)) {
        const ViewUpdate update(*this);
        model_.FullScreen().Leave();
    }
}

void MainWindow::PressEscape() {
    const ViewUpdate update(*this);
    switch (EscapeMeaning(model_.FullScreen().On(), model_.Slides().Running())) {
    case EscapeAction::LeaveFullScreen:
        LeaveFullScreen();
        break;
    case EscapeAction::StopSlideshow:
        model_.Slides().Stop();
        break;
    case EscapeAction::Nothing:
        break;
    }
}

void MainWindow::ShowPicksOwner() {
    const bool owned = model_.FullScreen().PicksBelongToMainWindow();
    if (owned == picksOwned_)
        return;
    picksOwned_ = owned;
    for (PickWindow* pick : findChildren<PickWindow*>(Qt::FindDirectChildrenOnly))
        SetOwnerWindow(*pick, owned ? this : nullptr);
}

// --- The slideshow ---

void MainWindow::ToggleSlideshow() {
    const ViewUpdate update(*this);
    Slideshow& slides = model_.Slides();
    if (slides.Running())
        slides.Stop();
    else if (slides.Start(Slideshow::Clock::now(), model_.CanStep()))
        ArmSlideshow();
}

void MainWindow::StopSlideshow() {
    if (!model_.Slides().Running())
        return;
    const ViewUpdate update(*this);
    model_.Slides().Stop();
}

void MainWindow::SetSlideshowInterval(std::chrono::seconds interval) {
    const ViewUpdate update(*this);
    model_.Slides().SetInterval(interval);
    if (model_.Slides().Running())
        ArmSlideshow();
}

void MainWindow::SlideshowTick(Slideshow::Clock::time_point now) {
    const ViewUpdate update(*this);
    const bool held = searching_ || QApplication::activeModalWidget() != nullptr ||
                      QApplication::activePopupWidget() != nullptr;
    Slideshow& slides = model_.Slides();
    if (slides.OnTick(now, {.canStep = model_.CanStep() && model_.KeysAct(), .held = held}) ==
        Slideshow::Tick::Step) {
        // A picture that cannot be shown ends the slideshow with its message.
        auto stop = qScopeGuard([&slides] { slides.Stop(); });
        ShowNext();
        stop.dismiss();
    }
    if (slides.Running())
        ArmSlideshow();
}

void MainWindow::ArmSlideshow() {
    slideshowTimer_->start(model_.Slides().UntilDue(Slideshow::Clock::now()));
}

void MainWindow::ShowSlideshowState() {
    if (!model_.Slides().Running())
        slideshowTimer_->stop();
    screenAwake_->Hold(KeepScreenAwake(model_.FullScreen().On(), model_.Slides().Running()));
}

} // namespace tessaly
