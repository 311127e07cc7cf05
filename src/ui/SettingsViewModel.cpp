#include "ui/SettingsViewModel.h"

#include "settings/LaunchAtLogin.h"
#include "settings/Settings.h"
#include "ui/Scheduler.h"

#include <QFileInfo>

#include <cmath>

namespace pivana {

SettingsViewModel::SettingsViewModel(Settings& settings, LaunchAtLogin& autostart,
                                     Scheduler& scheduler, SettingsHooks hooks, QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_autostart(autostart),
      m_scheduler(scheduler),
      m_hooks(std::move(hooks)) {
    for (auto signal : {&Settings::outputFolderModeChanged, &Settings::customFolderStateChanged,
                        &Settings::replaceOriginalChanged, &Settings::jpgQualityChanged,
                        &Settings::audioBitrateChanged}) {
        connect(&m_settings, signal, this, &SettingsViewModel::changed);
    }
}

bool SettingsViewModel::isCustomFolderMissing() const {
    return m_settings.outputFolderMode() == OutputFolderMode::Custom &&
           m_settings.customFolderState().kind == CustomFolderResolution::Kind::Missing;
}

bool SettingsViewModel::usesCustomFolder() const {
    return m_settings.outputFolderMode() == OutputFolderMode::Custom;
}

QString SettingsViewModel::outputFolderLabel() const {
    if (m_settings.outputFolderMode() == OutputFolderMode::SameAsSource) {
        return texts().sameAsSource;
    }
    const CustomFolderResolution state = m_settings.customFolderState();
    switch (state.kind) {
        case CustomFolderResolution::Kind::Ok:
            return QFileInfo(state.folder).fileName();
        case CustomFolderResolution::Kind::Missing:
            return QStringLiteral("Folder missing");
        case CustomFolderResolution::Kind::Unset:
            return texts().sameAsSource;
    }
    return {};
}

bool SettingsViewModel::replaceOriginal() const {
    return m_settings.replaceOriginal();
}

double SettingsViewModel::jpgQuality() const {
    return m_settings.jpgQuality();
}

void SettingsViewModel::setJpgQuality(double quality) {
    m_settings.setJpgQuality(quality);
}

QString SettingsViewModel::jpgQualityText() const {
    return QStringLiteral("%1%").arg(static_cast<long long>(std::trunc(m_settings.jpgQuality())));
}

QList<int> SettingsViewModel::bitrates() {
    return {96, 128, 192, 256, 320};
}

QStringList SettingsViewModel::bitrateLabels() {
    QStringList labels;
    for (const int kbps : bitrates()) {
        labels << QStringLiteral("%1 kbps").arg(kbps);
    }
    return labels;
}

int SettingsViewModel::bitrateIndex() const {
    return static_cast<int>(bitrates().indexOf(m_settings.audioBitrate()));
}

void SettingsViewModel::setBitrateIndex(int index) {
    const QList<int> offered = bitrates();
    if (index >= 0 && index < offered.size()) {
        m_settings.setAudioBitrate(offered[index]);
    }
}

void SettingsViewModel::appeared() {
    m_settings.refreshCustomFolderState();
    m_launchOn = m_autostart.isEnabled();
    Q_EMIT changed();
}

void SettingsViewModel::useSameAsSource() {
    // The chosen folder stays stored for later.
    m_settings.setOutputFolderMode(OutputFolderMode::SameAsSource);
}

void SettingsViewModel::chooseFolder() {
    if (!m_hooks.chooseFolder) {
        return;
    }
    const QString folder = m_hooks.chooseFolder();
    if (folder.isEmpty()) {
        return;
    }
    m_settings.chooseCustomFolder(folder);  // a folder that cannot be referenced changes nothing
}

void SettingsViewModel::requestReplaceOriginal(bool on) {
    if (on && !m_settings.replaceOriginal()) {
        if (m_hooks.confirmReplace && m_hooks.confirmReplace()) {
            m_settings.setReplaceOriginal(true);
        }
        Q_EMIT changed();  // the switch shows the stored value again
        return;
    }
    m_settings.setReplaceOriginal(on);
}

void SettingsViewModel::requestLaunchAtLogin(bool on) {
    if (m_launchBusy) {
        return;
    }
    m_launchBusy = true;
    m_launchOn = on;
    Q_EMIT changed();
    // Written on the next turn of the event loop, so the indicator shows while it happens.
    m_scheduler.after(0, [this, on] {
        const QString failure = m_autostart.setEnabled(on, m_hooks.program);
        if (!failure.isEmpty()) {
            m_launchOn = m_autostart.isEnabled();  // the failure itself is not shown
        }
        m_launchBusy = false;
        Q_EMIT changed();
    });
}

}  // namespace pivana
