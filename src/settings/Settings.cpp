#include "settings/Settings.h"

#include "settings/FolderReference.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QStandardPaths>

#include <cmath>

namespace pivana {

namespace {

QString defaultSettingsFile() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("pivana/pivana.conf"));
}

}  // namespace

QString outputFolderModeText(OutputFolderMode mode) {
    return mode == OutputFolderMode::Custom ? QStringLiteral("Custom folder")
                                            : QStringLiteral("Same as source");
}

OutputFolderMode outputFolderModeFromText(const QString& text) {
    if (text == outputFolderModeText(OutputFolderMode::Custom)) {
        return OutputFolderMode::Custom;
    }
    if (text == outputFolderModeText(OutputFolderMode::SameAsSource)) {
        return OutputFolderMode::SameAsSource;
    }
    return SettingsDefaults::outputFolderMode;
}

Settings& Settings::shared() {
    static Settings* instance = new Settings(defaultSettingsFile());
    return *instance;
}

Settings::Settings(const QString& iniFile, QObject* parent)
    : QObject(parent), m_store(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {
    refreshCustomFolderState();
    // A folder deleted or moved while the app was in the background shows as missing as soon as
    // the user comes back to it.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state == Qt::ApplicationActive) {
                        refreshCustomFolderState();
                    }
                });
    }
}

Settings::~Settings() = default;

OutputFolderMode Settings::outputFolderMode() const {
    return outputFolderModeFromText(m_store->value(SettingsKeys::outputFolderMode).toString());
}

void Settings::setOutputFolderMode(OutputFolderMode mode) {
    m_store->setValue(SettingsKeys::outputFolderMode, outputFolderModeText(mode));
    m_store->sync();
    Q_EMIT outputFolderModeChanged();
}

QByteArray Settings::customOutputFolderBookmark() const {
    return m_store->value(SettingsKeys::customOutputFolder).toByteArray();
}

void Settings::setCustomOutputFolderBookmark(const QByteArray& bookmark) {
    m_store->setValue(SettingsKeys::customOutputFolder, bookmark);
    m_store->sync();
    Q_EMIT customOutputFolderBookmarkChanged();
}

bool Settings::replaceOriginal() const {
    return m_store->value(SettingsKeys::replaceOriginal, SettingsDefaults::replaceOriginal)
        .toBool();
}

void Settings::setReplaceOriginal(bool on) {
    m_store->setValue(SettingsKeys::replaceOriginal, on);
    m_store->sync();
    Q_EMIT replaceOriginalChanged();
}

double Settings::jpgQuality() const {
    bool ok = false;
    const double value =
        m_store->value(SettingsKeys::jpgQuality, SettingsDefaults::jpgQuality).toDouble(&ok);
    // "nan" and "inf" parse as numbers but are no quality; converters would turn them into
    // integers, which is undefined for them.
    return ok && std::isfinite(value) ? value : SettingsDefaults::jpgQuality;
}

void Settings::setJpgQuality(double quality) {
    m_store->setValue(SettingsKeys::jpgQuality, quality);
    m_store->sync();
    Q_EMIT jpgQualityChanged();
}

int Settings::audioBitrate() const {
    bool ok = false;
    const int value =
        m_store->value(SettingsKeys::audioBitrate, SettingsDefaults::audioBitrate).toInt(&ok);
    return ok ? value : SettingsDefaults::audioBitrate;
}

void Settings::setAudioBitrate(int kbps) {
    m_store->setValue(SettingsKeys::audioBitrate, kbps);
    m_store->sync();
    Q_EMIT audioBitrateChanged();
}

bool Settings::chooseCustomFolder(const QString& folder) {
    const auto reference = FolderReference::create(folder);
    if (!reference) {
        return false;
    }
    setCustomOutputFolderBookmark(reference->toBytes());
    refreshCustomFolderState();
    setOutputFolderMode(OutputFolderMode::Custom);
    return true;
}

CustomFolderResolution Settings::resolveCustomOutputFolder() {
    const QByteArray bytes = customOutputFolderBookmark();
    if (bytes.isEmpty()) {
        return CustomFolderResolution::unset();
    }
    const auto reference = FolderReference::fromBytes(bytes);
    if (!reference) {
        return CustomFolderResolution::missing();
    }
    const FolderReference::Resolution resolution = reference->resolve();
    if (resolution.status != FolderReference::Resolution::Status::Ok) {
        return CustomFolderResolution::missing();
    }
    if (resolution.stale) {
        if (const auto fresh = FolderReference::create(resolution.path)) {
            setCustomOutputFolderBookmark(fresh->toBytes());
        }
    }
    return CustomFolderResolution::ok(resolution.path);
}

void Settings::refreshCustomFolderState() {
    const CustomFolderResolution resolved = resolveCustomOutputFolder();
    if (resolved != m_customFolderState) {
        m_customFolderState = resolved;
        Q_EMIT customFolderStateChanged();
    }
}

Settings::Snapshot Settings::snapshot() {
    Snapshot snapshot;
    const CustomFolderResolution resolved = resolveCustomOutputFolder();
    if (resolved.kind == CustomFolderResolution::Kind::Ok) {
        snapshot.customOutputFolder = resolved.folder;
    }
    snapshot.outputFolderMode = outputFolderMode();
    snapshot.replaceOriginal = replaceOriginal();
    snapshot.jpgQuality = jpgQuality();
    snapshot.audioBitrate = audioBitrate();
    return snapshot;
}

std::optional<QString> Settings::outputFolderProblem() {
    if (outputFolderMode() != OutputFolderMode::Custom) {
        return std::nullopt;
    }
    refreshCustomFolderState();
    if (m_customFolderState.kind != CustomFolderResolution::Kind::Missing) {
        return std::nullopt;
    }
    return QStringLiteral("Output folder is missing. Open Settings to pick a new one.");
}

}  // namespace pivana
