#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

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

/// The settings screen's fixed texts.
struct SettingsTexts {
    Q_GADGET
    QML_VALUE_TYPE(settingsTexts)
    Q_PROPERTY(QString title MEMBER title CONSTANT)
    Q_PROPERTY(QString outputSection MEMBER outputSection CONSTANT)
    Q_PROPERTY(QString outputFolder MEMBER outputFolder CONSTANT)
    Q_PROPERTY(QString sameAsSource MEMBER sameAsSource CONSTANT)
    Q_PROPERTY(QString chooseFolder MEMBER chooseFolder CONSTANT)
    Q_PROPERTY(QString folderMissing MEMBER folderMissing CONSTANT)
    Q_PROPERTY(QString replaceOriginal MEMBER replaceOriginal CONSTANT)
    Q_PROPERTY(QString replaceOriginalDetail MEMBER replaceOriginalDetail CONSTANT)
    Q_PROPERTY(QString imageSection MEMBER imageSection CONSTANT)
    Q_PROPERTY(QString jpgQuality MEMBER jpgQuality CONSTANT)
    Q_PROPERTY(QString audioSection MEMBER audioSection CONSTANT)
    Q_PROPERTY(QString aacBitrate MEMBER aacBitrate CONSTANT)
    Q_PROPERTY(QString launchAtLogin MEMBER launchAtLogin CONSTANT)
    Q_PROPERTY(QString done MEMBER done CONSTANT)

public:
    QString title = QStringLiteral("Settings");
    QString outputSection = QStringLiteral("Output");
    QString outputFolder = QStringLiteral("Output folder");
    QString sameAsSource = QStringLiteral("Same as source");
    QString chooseFolder = QStringLiteral("Choose folder\u2026");
    QString folderMissing = QStringLiteral("Output folder is missing");
    QString replaceOriginal = QStringLiteral("Replace original");
    QString replaceOriginalDetail = QStringLiteral("Deletes the source after conversion");
    QString imageSection = QStringLiteral("Image");
    QString jpgQuality = QStringLiteral("JPG quality");
    QString audioSection = QStringLiteral("Audio");
    QString aacBitrate = QStringLiteral("Audio bitrate");  // every lossy sound target
    QString launchAtLogin = QStringLiteral("Launch at login");
    QString done = QStringLiteral("Done");
};

/// The settings screen's state and rules: labels, the missing-folder warning, the confirmation
/// before "Replace original" and the launch-at-login switch. Every change is stored at once.
class SettingsViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The settings screen's model is made by the tray controller")
    Q_PROPERTY(pivana::SettingsTexts texts READ texts CONSTANT)
    Q_PROPERTY(QString outputFolderLabel READ outputFolderLabel NOTIFY changed)
    Q_PROPERTY(bool isCustomFolderMissing READ isCustomFolderMissing NOTIFY changed)
    Q_PROPERTY(bool usesCustomFolder READ usesCustomFolder NOTIFY changed)
    Q_PROPERTY(bool replaceOriginal READ replaceOriginal NOTIFY changed)
    Q_PROPERTY(double jpgQuality READ jpgQuality WRITE setJpgQuality NOTIFY changed)
    Q_PROPERTY(QString jpgQualityText READ jpgQualityText NOTIFY changed)
    Q_PROPERTY(QStringList bitrateLabels READ bitrateLabels CONSTANT)
    Q_PROPERTY(int bitrateIndex READ bitrateIndex WRITE setBitrateIndex NOTIFY changed)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY changed)
    Q_PROPERTY(bool launchBusy READ launchBusy NOTIFY changed)

public:
    SettingsViewModel(Settings& settings, LaunchAtLogin& autostart, Scheduler& scheduler,
                      SettingsHooks hooks, QObject* parent = nullptr);

    static SettingsTexts texts() { return {}; }
    QString outputFolderLabel() const;
    bool isCustomFolderMissing() const;
    /// Outputs go to a folder of the user's choice rather than beside their sources.
    bool usesCustomFolder() const;
    bool replaceOriginal() const;
    double jpgQuality() const;
    void setJpgQuality(double quality);
    QString jpgQualityText() const;
    /// The bit rates offered, in kbit/s, and how the picker shows them ("192 kbps").
    static QList<int> bitrates();
    static QStringList bitrateLabels();
    /// The stored bit rate's place among those offered; -1 for a rate not offered.
    int bitrateIndex() const;
    void setBitrateIndex(int index);
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
