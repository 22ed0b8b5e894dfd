#include "RecoveryRun.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <exception>

namespace zelvar {

RecoveryRun::RecoveryRun(const QString& folder, const Settings& settings, Progressed progressed,
                         Finished finished, QObject* parent)
    : QObject(parent), progressed_(std::move(progressed)), finished_(std::move(finished)) {
    thread_ = std::thread([this, folder, settings] {
        // Named, so that its share of the processor can be told apart.
        pthread_setname_np(pthread_self(), "zelvar-recovery");
        // Background work: on a busy processor the window and the receiving
        // threads come first.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        RecoveryControl control;
        control.stop = &stop_;
        control.progress = [this](int percent) {
            QMetaObject::invokeMethod(
                this, [this, percent] { if (progressed_) progressed_(percent); },
                Qt::QueuedConnection);
        };
        std::vector<RecoveredJournal> recovered;
        try {
            recovered = RecoverJournals(folder, settings, control);
        } catch (const std::exception& error) {
            recovered.push_back({{}, 0, QString::fromLocal8Bit(error.what())});
        } catch (...) {
            // Nothing may leave a thread's function: the program would end.
            recovered.push_back({{}, 0, QStringLiteral("Unknown error")});
        }
        if (stop_.load()) return;
        QMetaObject::invokeMethod(
            this, [this, recovered = std::move(recovered)] { if (finished_) finished_(recovered); },
            Qt::QueuedConnection);
    });
}

RecoveryRun::~RecoveryRun() {
    stop_.store(true);
    thread_.join();
}

}  // namespace zelvar
