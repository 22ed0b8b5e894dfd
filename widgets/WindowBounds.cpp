#include "WindowBounds.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <vector>

namespace zelvar {

namespace {

WindowRect rectOf(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

FrameMargins frameOf(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    if (!handle || !handle->handle()) return {};
    const QMargins m = handle->frameMargins();
    return {m.left(), m.top(), m.right(), m.bottom()};
}

QPoint framePosition(const QWidget& window) {
    // The widget's own frame position can be stale on X11 when no move
    // followed the window manager's framing; the platform window asks anew.
    const QWindow* handle = window.windowHandle();
    return handle && handle->handle() ? handle->framePosition() : window.pos();
}

void place(QWidget& window, const WindowRect& stored) {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return;
    std::vector<WindowRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(rectOf(screen->availableGeometry()));
    const FrameMargins frame = frameOf(window);
    const QSize least = window.minimumSize();
    const WindowRect client = PlaceStoredWindow(stored, frame, screens,
                                                rectOf(primary->availableGeometry()),
                                                {least.width(), least.height()});
    if (window.testAttribute(Qt::WA_WState_Created)) {
        const QRect target(client.left, client.top, client.width, client.height);
        if (window.geometry() != target) window.setGeometry(target);
    } else {
        // Not created yet: a move now places the frame.
        window.move(client.left - frame.left, client.top - frame.top);
        window.resize(client.width, client.height);
    }
}

// Where the frame stood when the window was last hidden: once hidden, the
// window manager takes its frame away, and the window alone no longer tells.
constexpr const char* kHiddenFramePosition = "zelvarHiddenFramePosition";

// Watches a window for its life: places it once more when it is first
// exposed, now with the frame that the window manager gave it, and notes
// where its frame stood whenever it is hidden.
class FrameKeeper : public QObject {
public:
    static constexpr const char* kName = "zelvarFrameKeeper";

    explicit FrameKeeper(QWidget& window) : QObject(&window), window_(window) {
        setObjectName(QLatin1String(kName));
        window.installEventFilter(this);
        watchHandle();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_) {
            if (event->type() == QEvent::Show) {
                window_.setProperty(kHiddenFramePosition, QVariant());
                watchHandle();
            } else if (event->type() == QEvent::Hide && !event->spontaneous()) {
                // The frame is still known here: the window manager's answer
                // to the hiding has not been read yet.
                window_.setProperty(kHiddenFramePosition, framePosition(window_));
            }
        } else if (!placed_ && watched == window_.windowHandle() &&
                   event->type() == QEvent::Expose && window_.windowHandle()->isExposed()) {
            placed_ = true;
            if (!(window_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
                place(window_, StoredWindowBounds(window_));
        }
        return false;
    }

private:
    void watchHandle() {
        if (QWindow* handle = window_.windowHandle()) handle->installEventFilter(this);
    }

    QWidget& window_;
    bool placed_ = false;
};

}  // namespace

void RestoreWindowBounds(QWidget& window, const WindowRect& stored) {
    window.setProperty(kHiddenFramePosition, QVariant());
    place(window, stored);
    if (!window.findChild<QObject*>(QLatin1String(FrameKeeper::kName), Qt::FindDirectChildrenOnly))
        new FrameKeeper(window);
}

WindowRect StoredWindowBounds(const QWidget& window) {
    const QVariant hidden = window.property(kHiddenFramePosition);
    const QPoint frame = !window.isVisible() && hidden.isValid()
                             ? hidden.toPoint()
                             : framePosition(window);
    return {frame.x(), frame.y(), window.width(), window.height()};
}

}  // namespace zelvar
