#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantList>

#include <functional>

namespace pivana {

class LaunchAtLogin;
class Scheduler;
class Settings;

/// What the settings screen needs from the desktop: the folder chooser, the confirmation before
/// sources are deleted, and the program started at login.
struct SettingsHooks {
    std::function<QString()> chooseFolder;  ///< empty when cancelled
    std::function<bool()> confirmReplace;   ///< true when the user chose "Enable"
    QString program;                        ///< what the autostart entry runs
};

/// The settings screen's state and rules: labels, the missing-folder warning, the confirmation
/// before "Replace original" and the launch-at-login switch. Every change is stored at once.
class SettingsViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString outputFolderLabel READ outputFolderLabel NOTIFY changed)
    Q_PROPERTY(bool isCustomFolderMissing READ isCustomFolderMissing NOTIFY changed)
    Q_PROPERTY(bool replaceOriginal READ replaceOriginal NOTIFY changed)
    Q_PROPERTY(double jpgQuality READ jpgQuality WRITE setJpgQuality NOTIFY changed)
    Q_PROPERTY(QString jpgQualityText READ jpgQualityText NOTIFY changed)
    Q_PROPERTY(int audioBitrate READ audioBitrate WRITE setAudioBitrate NOTIFY changed)
    Q_PROPERTY(QVariantList bitrates READ bitrates CONSTANT)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY changed)
    Q_PROPERTY(bool launchBusy READ launchBusy NOTIFY changed)

public:
    SettingsViewModel(Settings& settings, LaunchAtLogin& autostart, Scheduler& scheduler,
                      SettingsHooks hooks, QObject* parent = nullptr);

    QString outputFolderLabel() const;
    bool isCustomFolderMissing() const;
    bool replaceOriginal() const;
    double jpgQuality() const;
    void setJpgQuality(double quality);
    QString jpgQualityText() const;
    int audioBitrate() const;
    void setAudioBitrate(int kbps);
    static QVariantList bitrates();
    bool launchAtLogin() const { return m_launchOn; }
    bool launchBusy() const { return m_launchBusy; }

    /// The screen is shown: the folder state and the autostart entry are read afresh.
    Q_INVOKABLE void appeared();
    Q_INVOKABLE void useSameAsSource();
    Q_INVOKABLE void chooseFolder();
    /// The "Replace original" switch was flipped to `on`; switching on asks first.
    Q_INVOKABLE void requestReplaceOriginal(bool on);
    Q_INVOKABLE void requestLaunchAtLogin(bool on);

Q_SIGNALS:
    void changed();

private:
    Settings& m_settings;
    LaunchAtLogin& m_autostart;
    Scheduler& m_scheduler;
    SettingsHooks m_hooks;
    bool m_launchOn = false;
    bool m_launchBusy = false;
};

}  // namespace pivana
