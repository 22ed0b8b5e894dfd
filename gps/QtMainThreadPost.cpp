#include <QObject>

#include "MainThreadPost.h"

namespace zelvar {

namespace {

// Qt's queued calls are the way into another thread's event loop; the
// context object pins them to the thread that created it.
class QtMainThreadPost : public MainThreadPost {
public:
    void post(std::function<void()> job) override {
        QMetaObject::invokeMethod(&context_, std::move(job), Qt::QueuedConnection);
    }

private:
    QObject context_;
};

}  // namespace

std::unique_ptr<MainThreadPost> MakeMainThreadPost() {
    return std::make_unique<QtMainThreadPost>();
}

}  // namespace zelvar
