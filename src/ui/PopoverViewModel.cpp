#include "ui/PopoverViewModel.h"

#include "engine/BatchSummary.h"
#include "engine/RouteTable.h"
#include "settings/Settings.h"
#include "ui/AppState.h"
#include "ui/DropRules.h"

#include <QFileInfo>
#include <QUrl>

namespace pivana {

PopoverViewModel::PopoverViewModel(AppState& appState, Settings& settings, BatchRunner& runner,
                                   Scheduler& scheduler, PanelHooks hooks, QObject* parent)
    : QObject(parent),
      m_appState(appState),
      m_settings(settings),
      m_runner(runner),
      m_scheduler(scheduler),
      m_hooks(std::move(hooks)),
      m_settingsRow(new FooterAction(
          QStringLiteral("gear"), QStringLiteral("Settings"), [this] { openSettings(); }, this)),
      m_quitRow(new FooterAction(
          QStringLiteral("power"), QStringLiteral("Quit"), [this] { quit(); }, this)),
      m_convertMoreRow(new FooterAction(
          QStringLiteral("clockwise"), QStringLiteral("Convert More"), [this] { convertMore(); },
          this)),
      m_closeRow(new FooterAction(
          QStringLiteral("xmark"), QStringLiteral("Close"), [this] { close(); }, this)),
      m_cancelRow(new FooterAction(
          QStringLiteral("xmark"), QStringLiteral("Cancel"), [this] { cancel(); }, this)) {
    connect(&m_appState, &AppState::filesDropped, this, &PopoverViewModel::handleFiles);
    connect(&m_appState, &AppState::isConvertingChanged, this, &PopoverViewModel::changed);
    connect(&m_appState, &AppState::isConvertingChanged, this, &PopoverViewModel::footerChanged);
    // Hidden while idle work is not running: the next opening starts afresh.
    connect(&m_appState, &AppState::panelVisibleChanged, this, [this] {
        if (!m_appState.panelVisible() && !m_appState.isConverting()) {
            setState(State::Idle);
        }
    });
}

std::vector<FooterAction*> PopoverViewModel::footer() const {
    if (isConverting()) {
        return {m_cancelRow};
    }
    switch (m_state) {
        case State::Idle:
            return {m_settingsRow, m_quitRow};
        case State::PickFormat:
            return {};
        case State::Done:
            return {m_convertMoreRow, m_closeRow};
    }
    return {};
}

QQmlListProperty<FooterAction> PopoverViewModel::footerRows() {
    using List = QQmlListProperty<FooterAction>;
    const auto count = [](List* list) -> qsizetype {
        return static_cast<qsizetype>(
            static_cast<PopoverViewModel*>(list->object)->footer().size());
    };
    const auto at = [](List* list, qsizetype index) {
        return static_cast<PopoverViewModel*>(list->object)
            ->footer()
            .at(static_cast<size_t>(index));
    };
    return List(this, nullptr, count, at);
}

bool PopoverViewModel::isConverting() const {
    return m_appState.isConverting();
}

QString PopoverViewModel::headline() const {
    switch (m_state) {
        case State::Idle:
            return QStringLiteral("Click to browse files");
        case State::PickFormat:
            // While the batch converts, the file it is at takes the batch's line: the name is
            // shown once, and the panel keeps its height.
            return isConverting() && m_fileCount > 0 ? progressText() : fileLabel();
        case State::Done:
            return doneTitle();
    }
    return {};
}

QString PopoverViewModel::detail() const {
    switch (m_state) {
        case State::Idle:
            return QStringLiteral("images \u00b7 audio \u00b7 video \u00b7 docs");
        case State::PickFormat:
            return {};
        case State::Done:
            // Files a cancel stopped did not fail: they are counted here, not as failures.
            return m_cancelled == 0
                       ? savedLine()
                       : savedLine() + QStringLiteral(" \u00b7 %1 cancelled").arg(m_cancelled);
    }
    return {};
}

QString PopoverViewModel::fileLabel() const {
    return BatchSummary::fileLabel(m_files);
}

QString PopoverViewModel::doneTitle() const {
    return BatchSummary::doneTitleLine(m_format, m_succeeded, m_total);
}

QString PopoverViewModel::savedLine() const {
    return QStringLiteral("saved to ") + m_saved;
}

QString PopoverViewModel::failureHeadline() const {
    if (m_state != State::Done || m_failures.empty()) {
        return {};
    }
    if (m_failures.size() == 1) {
        return QStringLiteral("couldn't convert ") + m_failures.front().name;
    }
    return QStringLiteral("%1 files couldn't convert").arg(m_failures.size());
}

QString PopoverViewModel::failureDetail() const {
    if (m_state != State::Done || m_failures.empty()) {
        return {};
    }
    if (m_failures.size() == 1) {
        return m_failures.front().reason;  // the headline names the file
    }
    // Every failed file with its reason, a line each.
    QStringList lines;
    for (const FailedConversion& failure : m_failures) {
        lines << failure.name + QStringLiteral(": ") + failure.reason;
    }
    return lines.join(u'\n');
}

QString PopoverViewModel::progressText() const {
    if (!isConverting() || m_fileCount == 0) {
        return {};
    }
    return progressPrefix() + m_currentFile;
}

QString PopoverViewModel::progressPrefix() const {
    if (!isConverting() || m_fileCount == 0) {
        return {};
    }
    if (m_fileCount == 1) {
        return QStringLiteral("Converting ");
    }
    return QStringLiteral("Converting %1 of %2 \u00b7 ").arg(m_fileIndex + 1).arg(m_fileCount);
}

QString PopoverViewModel::progressFile() const {
    return isConverting() && m_fileCount > 0 ? m_currentFile : QString();
}

QString PopoverViewModel::chipLabel(const QString& format) const {
    return format.toUpper();
}

void PopoverViewModel::setState(State state) {
    if (m_state != state) {
        m_state = state;
        Q_EMIT stateChanged();
        Q_EMIT footerChanged();
    }
    Q_EMIT changed();
}

void PopoverViewModel::handleFiles(const QStringList& files) {
    if (files.isEmpty()) {
        return;
    }
    const QStringList targets = RouteTable::shared().commonTargets(files);
    if (targets.isEmpty()) {
        const QString message = BatchSummary::noTargetsMessage(files);
        m_appState.notify(QStringLiteral("Pivana"), message);
        showTransientError(message);
        return;
    }
    m_isDropping = true;
    m_files = files;
    m_targets = targets;
    Q_EMIT targetsChanged();
    setState(State::PickFormat);
    const std::weak_ptr<bool> alive = m_alive;
    m_scheduler.after(chipFadeDelayMs, [this, alive] {
        if (alive.lock()) {
            m_isDropping = false;
            Q_EMIT changed();
        }
    });
}

void PopoverViewModel::showTransientError(const QString& message) {
    m_transientError = message;
    Q_EMIT changed();
    // Every message schedules its own clearing, which removes whatever shows at that moment.
    const std::weak_ptr<bool> alive = m_alive;
    m_scheduler.after(transientErrorMs, [this, alive] {
        if (alive.lock()) {
            m_transientError.clear();
            Q_EMIT changed();
        }
    });
}

void PopoverViewModel::tapChip(const QString& format) {
    if (isConverting() || m_state != State::PickFormat) {
        return;
    }
    if (const auto problem = m_settings.outputFolderProblem()) {
        showTransientError(*problem);
        return;
    }
    startConversion(format);
}

std::optional<QString> PopoverViewModel::convertHandedOver(const QStringList& files,
                                                           const QString& format) {
    if (m_state != State::PickFormat || m_files != files) {
        // The batch offers nothing; handleFiles has shown and posted why.
        return BatchSummary::noTargetsMessage(files);
    }
    if (isConverting()) {
        return std::nullopt;  // already on its way
    }
    std::optional<QString> problem;
    if (!m_targets.contains(format)) {
        problem = cleanReason(ConversionError::unsupportedFormat(format));
    } else {
        problem = m_settings.outputFolderProblem();
    }
    if (problem) {
        m_appState.notify(QStringLiteral("Pivana"), *problem);
        showTransientError(*problem);
        return problem;
    }
    startConversion(format);
    return std::nullopt;
}

void PopoverViewModel::startConversion(const QString& format) {
    const SettingsSnapshot snapshot = m_settings.snapshot();
    const QStringList files = m_files;
    m_inFlightFormat = format;
    m_fileIndex = 0;
    m_fileCount = static_cast<int>(files.size());
    m_currentFile = QFileInfo(files.value(0)).fileName();
    m_progress = 0;
    m_appState.setConverting(true);
    Q_EMIT changed();

    const std::weak_ptr<bool> alive = m_alive;
    BatchRunner::Callbacks callbacks;
    callbacks.fileStarted = [this, alive](int index, int count, const QString& file) {
        if (alive.lock()) {
            m_fileIndex = index;
            m_fileCount = count;
            m_currentFile = QFileInfo(file).fileName();
            m_progress = 0;
            Q_EMIT changed();
        }
    };
    callbacks.fileProgress = [this, alive](double fraction) {
        if (alive.lock()) {
            m_progress = fraction;
            Q_EMIT changed();
        }
    };
    callbacks.finished = [this, alive, files, format, snapshot](const ConversionResult& result) {
        if (alive.lock()) {
            finishConversion(files, format, snapshot, result);
        }
    };
    m_runner.start(files, format, snapshot, std::move(callbacks));
}

void PopoverViewModel::finishConversion(const QStringList& files, const QString& format,
                                        const SettingsSnapshot& snapshot,
                                        const ConversionResult& result) {
    if (!result.succeeded.isEmpty()) {
        m_saved = BatchSummary::savedFolder(result, snapshot);
        m_format = format;
        m_succeeded = static_cast<int>(result.succeeded.size());
        m_total = static_cast<int>(files.size());
        m_failures.clear();
        const std::vector<FailedFile> failures = BatchSummary::failuresOf(result);
        for (const FailedFile& failure : failures) {
            m_failures.push_back(FailedConversion::from(failure.path, failure.error));
        }
        m_cancelled = static_cast<int>(result.failed.size() - failures.size());
        setState(State::Done);
        const QStringList outputs = result.writtenFiles();
        const BatchSummary::Notice notice = BatchSummary::notice(files, result, outputs);
        m_appState.notifyOrReveal(notice.title, notice.body, outputs, !m_appState.panelVisible());
    } else {
        const BatchSummary::Notice notice = BatchSummary::notice(files, result, {});
        m_appState.notify(notice.title, notice.body);
        // A cancel before the first file was done is no failure.
        const bool failed = !BatchSummary::failuresOf(result).empty() || result.failed.empty();
        showTransientError(failed ? QStringLiteral("Conversion failed. ") + notice.body
                                  : notice.body);
        setState(State::Idle);
    }
    m_inFlightFormat.clear();
    m_appState.setConverting(false);
    Q_EMIT changed();
}

void PopoverViewModel::tapDropZone() {
    if (!m_transientError.isEmpty()) {
        m_transientError.clear();
        Q_EMIT changed();
        return;
    }
    if (m_state == State::Idle) {
        if (!m_hooks.browseForFiles) {
            return;
        }
        if (m_hooks.setDismissSuppressed) {
            m_hooks.setDismissSuppressed(true);
        }
        const QStringList chosen = m_hooks.browseForFiles();
        if (m_hooks.setDismissSuppressed) {
            m_hooks.setDismissSuppressed(false);
        }
        handleFiles(chosen);
    } else if (m_state == State::Done) {
        setState(State::Idle);
    }
}

void PopoverViewModel::pressEscape() {
    if (m_showSettings) {
        closeSettings();
    } else if (m_state == State::Idle) {
        m_appState.setPanelVisible(false);
        if (m_hooks.close) {
            m_hooks.close();
        }
    } else {
        setState(State::Idle);
    }
}

void PopoverViewModel::convertMore() {
    setState(State::Idle);
}

void PopoverViewModel::close() {
    setState(State::Idle);
    m_appState.setPanelVisible(false);
    if (m_hooks.close) {
        m_hooks.close();
    }
}

void PopoverViewModel::openSettings() {
    m_showSettings = true;
    Q_EMIT changed();
}

void PopoverViewModel::closeSettings() {
    m_showSettings = false;
    Q_EMIT changed();
}

void PopoverViewModel::cancel() {
    if (isConverting()) {
        m_runner.cancel();
    }
}

void PopoverViewModel::quit() {
    if (m_hooks.quit) {
        m_hooks.quit();
    }
}

QStringList PopoverViewModel::localFiles(const QVariantList& urls) const {
    QList<QUrl> list;
    for (const QVariant& value : urls) {
        list << value.toUrl();
    }
    return DropRules::localFiles(list);
}

bool PopoverViewModel::acceptsDrop(const QVariantList& urls) const {
    return !isConverting() && !localFiles(urls).isEmpty();
}

void PopoverViewModel::setDragHovering(bool hovering) {
    if (m_dragHovering != hovering) {
        m_dragHovering = hovering;
        Q_EMIT changed();
    }
}

bool PopoverViewModel::dragEnter(const QVariantList& urls) {
    const bool accepted = acceptsDrop(urls);
    setDragHovering(accepted);
    return accepted;
}

void PopoverViewModel::dragExit() {
    setDragHovering(false);
}

bool PopoverViewModel::drop(const QVariantList& urls) {
    // The batch is in before the hover ends: whoever watches the drag's end (the tray
    // controller, deciding whether the panel stays) must see that something landed.
    const bool taken = m_appState.dropFiles(localFiles(urls));
    setDragHovering(false);
    return taken;
}

}  // namespace pivana
