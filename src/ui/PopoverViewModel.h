#pragma once

#include "engine/ConversionResult.h"
#include "engine/Error.h"
#include "settings/Snapshot.h"
#include "ui/FooterAction.h"
#include "ui/Scheduler.h"

#include <QObject>
#include <QQmlListProperty>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pivana {

class AppState;
class Settings;

/// Starts a batch off the main thread and reports back on it.
class BatchRunner {
public:
    virtual ~BatchRunner() = default;
    struct Callbacks {
        /// A file starts; `index` counts the files started before it (files convert side by
        /// side, so this is not always its place in the batch).
        std::function<void(int index, int count, const QString& file)> fileStarted;
        std::function<void(double fraction)> fileProgress;
        std::function<void(const ConversionResult&)> finished;
    };
    virtual void start(const QStringList& files, const QString& format,
                       const SettingsSnapshot& settings, Callbacks callbacks) = 0;
    /// Stops the running batch: its tools at once, no further file; `finished` still comes,
    /// with every file not converted failed as "Cancelled".
    virtual void cancel() = 0;
};

/// What the popover needs from the panel around it.
struct PanelHooks {
    std::function<void()> close;                     ///< hide the panel
    std::function<void(bool)> setDismissSuppressed;  ///< keep it open while a dialog runs
    std::function<QStringList()> browseForFiles;     ///< the browse dialog; empty when cancelled
    std::function<void()> quit;
};

/// Everything the panel's content shows and does: the flow from waiting, to choosing a format,
/// to converting and done, with its texts and timers. The QML view only draws it.
class PopoverViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The popover is made by the tray controller")
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(
        QQmlListProperty<pivana::FooterAction> footerRows READ footerRows NOTIFY footerChanged)
    Q_PROPERTY(bool isConverting READ isConverting NOTIFY changed)
    Q_PROPERTY(bool isDropping READ isDropping NOTIFY changed)
    Q_PROPERTY(bool dragHovering READ dragHovering NOTIFY changed)
    Q_PROPERTY(bool showSettings READ showSettings NOTIFY changed)
    Q_PROPERTY(QString transientError READ transientError NOTIFY changed)
    Q_PROPERTY(QString headline READ headline NOTIFY changed)
    Q_PROPERTY(QString detail READ detail NOTIFY changed)
    Q_PROPERTY(QStringList targets READ targets NOTIFY targetsChanged)
    Q_PROPERTY(QString inFlightFormat READ inFlightFormat NOTIFY changed)
    Q_PROPERTY(QString failureHeadline READ failureHeadline NOTIFY changed)
    Q_PROPERTY(QString failureDetail READ failureDetail NOTIFY changed)
    Q_PROPERTY(double progress READ progress NOTIFY changed)
    Q_PROPERTY(QString progressPrefix READ progressPrefix NOTIFY changed)
    Q_PROPERTY(QString progressFile READ progressFile NOTIFY changed)

public:
    enum class State { Idle, PickFormat, Done };
    Q_ENUM(State)

    static constexpr int chipFadeDelayMs = 450;
    static constexpr int transientErrorMs = 4000;

    PopoverViewModel(AppState& appState, Settings& settings, BatchRunner& runner,
                     Scheduler& scheduler, PanelHooks hooks, QObject* parent = nullptr);

    State state() const { return m_state; }
    /// The footer's rows in this state: Settings and Quit while waiting, Convert More and Close
    /// when done, none while a format is chosen, Cancel while a batch converts.
    std::vector<FooterAction*> footer() const;
    QQmlListProperty<FooterAction> footerRows();
    bool isConverting() const;
    bool isDropping() const { return m_isDropping; }
    /// A drag the panel would take is over it; the drop zone shows it.
    bool dragHovering() const { return m_dragHovering && !isConverting(); }
    bool showSettings() const { return m_showSettings; }
    QString transientError() const { return m_transientError; }
    /// The drop zone's first line: the invitation, the batch (or, while it converts, the file it
    /// is at), or what was converted.
    QString headline() const;
    /// The line under it: what can be dropped, or where the outputs went (and how many files a
    /// cancel stopped).
    QString detail() const;
    QString fileLabel() const;
    QStringList targets() const { return m_targets; }
    QString inFlightFormat() const { return m_inFlightFormat; }
    QString doneTitle() const;
    QString savedLine() const;
    QString failureHeadline() const;
    QString failureDetail() const;
    /// "Converting 2 of 3 · x.jpg" while a batch converts: the prefix, then the file's name,
    /// which alone may be cut short on screen.
    QString progressText() const;
    QString progressPrefix() const;
    QString progressFile() const;
    double progress() const { return m_progress; }
    const QStringList& files() const { return m_files; }
    const std::vector<FailedConversion>& failures() const { return m_failures; }

    /// A new batch, dropped or chosen.
    Q_INVOKABLE void handleFiles(const QStringList& files);
    /// For a batch handed over with its format (the file managers' menus): once the batch is
    /// on show, converts it as a click on that format's chip would. When nothing starts (the
    /// batch offers no such format, or the output folder is missing) the panel shows why, a
    /// notification says it too, since whoever asked may have no terminal, and the reason is
    /// returned.
    std::optional<QString> convertHandedOver(const QStringList& files, const QString& format);
    /// The label of a format's chip.
    Q_INVOKABLE QString chipLabel(const QString& format) const;
    Q_INVOKABLE void tapChip(const QString& format);
    Q_INVOKABLE void tapDropZone();
    Q_INVOKABLE void pressEscape();
    Q_INVOKABLE void convertMore();
    Q_INVOKABLE void close();
    Q_INVOKABLE void openSettings();
    Q_INVOKABLE void closeSettings();
    Q_INVOKABLE void quit();
    /// Stops the running batch; what it converted so far stays.
    Q_INVOKABLE void cancel();
    /// The file locations among the dropped URLs, in order; web links and the like are left out.
    Q_INVOKABLE QStringList localFiles(const QVariantList& urls) const;
    /// Whether a drag of these URLs would be taken: one with file locations in it, and not
    /// while converting.
    Q_INVOKABLE bool acceptsDrop(const QVariantList& urls) const;
    /// A drag enters the panel: whether it would be taken, which the drop zone then shows.
    Q_INVOKABLE bool dragEnter(const QVariantList& urls);
    /// The drag left the panel without dropping.
    Q_INVOKABLE void dragExit();
    /// Hands a drop's files to the app state, which announces the batch; false when it is
    /// refused.
    Q_INVOKABLE bool drop(const QVariantList& urls);

Q_SIGNALS:
    void changed();
    void stateChanged();
    void footerChanged();
    /// Separate from `changed`, which fires on every progress report: a new list would make the
    /// view build its chips again.
    void targetsChanged();

private:
    void showTransientError(const QString& message);
    void setDragHovering(bool hovering);
    void startConversion(const QString& format);
    void finishConversion(const QStringList& files, const QString& format,
                          const SettingsSnapshot& snapshot, const ConversionResult& result);
    void setState(State state);

    AppState& m_appState;
    Settings& m_settings;
    BatchRunner& m_runner;
    Scheduler& m_scheduler;
    PanelHooks m_hooks;

    State m_state = State::Idle;
    QStringList m_files;
    QStringList m_targets;
    bool m_isDropping = false;
    bool m_dragHovering = false;
    bool m_showSettings = false;
    QString m_transientError;
    QString m_inFlightFormat;
    // done
    QString m_saved;
    QString m_format;
    int m_succeeded = 0;
    int m_total = 0;
    std::vector<FailedConversion> m_failures;  ///< without the files a cancel stopped
    int m_cancelled = 0;
    // progress of the running batch
    int m_fileIndex = 0;
    int m_fileCount = 0;
    QString m_currentFile;
    double m_progress = 0;
    // footer rows, parented to this
    FooterAction* m_settingsRow;
    FooterAction* m_quitRow;
    FooterAction* m_convertMoreRow;
    FooterAction* m_closeRow;
    FooterAction* m_cancelRow;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace pivana
