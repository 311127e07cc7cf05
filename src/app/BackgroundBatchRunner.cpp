#include "app/BackgroundBatchRunner.h"

#include "converters/StandardConverters.h"
#include "engine/BatchDriver.h"

#include <QFutureWatcher>
#include <QTimer>

#include <memory>

namespace pivana {

void BackgroundBatchRunner::start(const QStringList& files, const QString& format,
                                  const SettingsSnapshot& settings, Callbacks callbacks) {
    // The observer is called on the worker thread; each report hops to the main thread.
    auto observer = std::make_shared<BatchObserver>();
    auto shared = std::make_shared<Callbacks>(std::move(callbacks));
    observer->fileStarted = [this, shared](int index, int count, const QString& file) {
        QMetaObject::invokeMethod(
            this, [shared, index, count, file] { shared->fileStarted(index, count, file); },
            Qt::QueuedConnection);
    };
    observer->fileProgress = [this, shared](int, double fraction) {
        QMetaObject::invokeMethod(
            this, [shared, fraction] { shared->fileProgress(fraction); }, Qt::QueuedConnection);
    };
    auto* watcher = new QFutureWatcher<ConversionResult>(this);
    connect(watcher, &QFutureWatcher<ConversionResult>::finished, this,
            [watcher, shared, observer] {
                shared->finished(watcher->result());
                watcher->deleteLater();
                // The app stays running, idle, until the next batch.
                releaseConverterMemory();
            });
    watcher->setFuture(BatchDriver(standardConverters())
                           .convertInBackground(files, format, settings, observer.get()));
}

void TimerScheduler::after(int milliseconds, std::function<void()> work) {
    QTimer::singleShot(milliseconds, m_context, std::move(work));
}

}  // namespace pivana
