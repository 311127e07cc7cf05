#pragma once

#include "settings/Snapshot.h"

#include <QByteArray>
#include <QObject>
#include <QSettings>
#include <QString>

#include <memory>
#include <optional>

namespace pivana {

/// The raw text a mode is stored and shown as: "Same as source", "Custom folder".
QString outputFolderModeText(OutputFolderMode mode);
/// The mode for a stored text; anything unrecognised reads as the default, same as source.
OutputFolderMode outputFolderModeFromText(const QString& text);

/// What the stored custom folder reference resolves to.
struct CustomFolderResolution {
    enum class Kind { Ok, Unset, Missing };
    Kind kind = Kind::Unset;
    QString folder;  ///< the folder, for Ok only

    static CustomFolderResolution ok(const QString& folder) { return {Kind::Ok, folder}; }
    static CustomFolderResolution unset() { return {Kind::Unset, {}}; }
    static CustomFolderResolution missing() { return {Kind::Missing, {}}; }
    bool operator==(const CustomFolderResolution&) const = default;
};

/// The user's persisted choices. Every field is read from and written to the settings file on
/// each access; the custom folder's state is re-checked whenever the application becomes active.
class Settings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool replaceOriginal READ replaceOriginal WRITE setReplaceOriginal NOTIFY
                   replaceOriginalChanged)
    Q_PROPERTY(double jpgQuality READ jpgQuality WRITE setJpgQuality NOTIFY jpgQualityChanged)
    Q_PROPERTY(int audioBitrate READ audioBitrate WRITE setAudioBitrate NOTIFY audioBitrateChanged)

public:
    using Snapshot = SettingsSnapshot;

    /// The user's settings, in pivana/pivana.conf under the XDG config directory.
    static Settings& shared();

    /// Settings kept in the given INI file (tests use a temporary one).
    explicit Settings(const QString& iniFile, QObject* parent = nullptr);
    ~Settings() override;

    OutputFolderMode outputFolderMode() const;
    void setOutputFolderMode(OutputFolderMode mode);
    QByteArray customOutputFolderBookmark() const;
    void setCustomOutputFolderBookmark(const QByteArray& bookmark);
    bool replaceOriginal() const;
    void setReplaceOriginal(bool on);
    double jpgQuality() const;
    void setJpgQuality(double quality);
    int audioBitrate() const;
    void setAudioBitrate(int kbps);

    /// Stores a reference to `folder`, refreshes the folder state and switches to custom mode.
    /// Returns false (changing nothing) when `folder` is not an existing directory.
    bool chooseCustomFolder(const QString& folder);

    CustomFolderResolution customFolderState() const { return m_customFolderState; }
    /// Resolves the stored reference afresh; rewrites a stale one.
    CustomFolderResolution resolveCustomOutputFolder();
    /// Recomputes the folder state and announces it only when it changed.
    void refreshCustomFolderState();

    Snapshot snapshot();

    /// Why a conversion must not start now: in custom mode, a chosen folder that has gone
    /// ("Output folder is missing. Open Settings to pick a new one."); refreshes the folder state
    /// to find out. None when the outputs have somewhere to go.
    std::optional<QString> outputFolderProblem();

Q_SIGNALS:
    void outputFolderModeChanged();
    void customOutputFolderBookmarkChanged();
    void replaceOriginalChanged();
    void jpgQualityChanged();
    void audioBitrateChanged();
    void customFolderStateChanged();

private:
    std::unique_ptr<QSettings> m_store;
    CustomFolderResolution m_customFolderState;
};

}  // namespace pivana
