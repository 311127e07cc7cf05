#pragma once

#include "engine/ConversionResult.h"
#include "ui/PopoverViewModel.h"

#include <QFuture>
#include <QObject>

#include <memory>

namespace pivana {

class CancelToken;

/// Runs batches on the conversion driver's worker threads and reports back on the main thread.
/// A batch still running when the runner goes (the app quits) is cancelled and waited for, so
/// its tools are stopped and its staging files removed before the app ends.
class BackgroundBatchRunner : public QObject, public BatchRunner {
    Q_OBJECT

public:
    using QObject::QObject;
    ~BackgroundBatchRunner() override;

    void start(const QStringList& files, const QString& format, const SettingsSnapshot& settings,
               Callbacks callbacks) override;
    void cancel() override;

private:
    std::shared_ptr<CancelToken> m_cancel;
    QFuture<ConversionResult> m_future;
};

/// Runs work later on the main thread with a Qt timer.
class TimerScheduler : public Scheduler {
public:
    explicit TimerScheduler(QObject* context) : m_context(context) {}
    void after(int milliseconds, std::function<void()> work) override;

private:
    QObject* m_context;
};

}  // namespace pivana
