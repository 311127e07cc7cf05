#pragma once

#include "ui/PopoverViewModel.h"

#include <QObject>

namespace pivana {

/// Runs batches on the conversion driver's worker thread and reports back on the main thread.
class BackgroundBatchRunner : public QObject, public BatchRunner {
    Q_OBJECT

public:
    using QObject::QObject;
    void start(const QStringList& files, const QString& format, const SettingsSnapshot& settings,
               Callbacks callbacks) override;
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
