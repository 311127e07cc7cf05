#include "app/BackgroundBatchRunner.h"

#include "converters/StandardConverters.h"
#include "engine/BatchDriver.h"
#include "engine/CancelToken.h"

#include <QFutureWatcher>
#include <QTimer>

namespace pivana {

namespace {

// The batch's reports, hopping from its worker threads to the main thread. Files convert side by
// side: the view counts the files started ("Converting 3 of 10"), names the latest one, and shows
// the progress of that one alone.
std::shared_ptr<BatchObserver> observerFor(QObject* context,
                                           std::shared_ptr<BatchRunner::Callbacks> callbacks) {
    auto observer = std::make_shared<BatchObserver>();
    auto latest = std::make_shared<int>(-1);  // touched only by the observer, one call at a time
    auto started = std::make_shared<int>(0);
    observer->fileStarted = [context, callbacks, latest, started](int index, int count,
                                                                  const QString& file) {
        *latest = index;
        const int before = (*started)++;
        QMetaObject::invokeMethod(
            context,
            [callbacks, before, count, file] { callbacks->fileStarted(before, count, file); },
            Qt::QueuedConnection);
    };
    observer->fileProgress = [context, callbacks, latest](int index, double fraction) {
        if (index == *latest) {
            QMetaObject::invokeMethod(
                context, [callbacks, fraction] { callbacks->fileProgress(fraction); },
                Qt::QueuedConnection);
        }
    };
    return observer;
}

}  // namespace

BackgroundBatchRunner::~BackgroundBatchRunner() {
    cancel();
    m_future.waitForFinished();
}

void BackgroundBatchRunner::start(const QStringList& files, const QString& format,
                                  const SettingsSnapshot& settings, Callbacks callbacks) {
    auto shared = std::make_shared<Callbacks>(std::move(callbacks));
    auto observer = observerFor(this, shared);
    auto cancel = std::make_shared<CancelToken>();
    m_cancel = cancel;
    auto* watcher = new QFutureWatcher<ConversionResult>(this);
    // The observer and the token live until the batch's result is delivered.
    connect(watcher, &QFutureWatcher<ConversionResult>::finished, this,
            [watcher, shared, observer, cancel] {
                shared->finished(watcher->result());
                watcher->deleteLater();
            });
    m_future = BatchDriver(standardConverters())
                   .convertInBackground(files, format, settings, observer.get(), cancel.get());
    watcher->setFuture(m_future);
}

void BackgroundBatchRunner::cancel() {
    if (m_cancel) {
        m_cancel->cancel();
    }
}

void TimerScheduler::after(int milliseconds, std::function<void()> work) {
    QTimer::singleShot(milliseconds, m_context, std::move(work));
}

}  // namespace pivana
