#include "engine/RouteTable.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <set>

namespace pivana {

namespace {

const QStringList imageSources = {"jpg", "jpeg", "png",  "webp", "heic", "tiff",
                                  "bmp", "svg",  "avif", "exr",  "psd"};
const QStringList imageTargets = {"jpg", "png", "heic", "avif", "exr", "tiff", "gif", "bmp", "psd"};
const QStringList rawSources = {"dng", "cr2", "cr3", "nef", "arw", "raf", "rw2", "orf", "pef",
                                "erf", "3fr", "dcr", "mrw", "srw", "nrw", "srf", "sr2"};
const QStringList gifTargets = {"mp4", "mov", "jpg", "png", "heic", "tiff", "bmp"};
const QStringList audioTargets = {"m4a", "wav", "aiff", "aac", "flac"};
const QStringList audioSources = QStringList{"mp3"} + audioTargets;
const QStringList videoSources = {"mp4", "mov", "m4v", "avi", "mkv"};
const QStringList videoTargets = {"mp4", "mov", "m4v", "gif", "m4a", "wav", "aiff", "aac", "flac"};
const QStringList textFormats = {"pdf", "docx", "odt", "html", "rtf", "txt", "md"};
const QStringList pdfTargets = {"png", "jpg"};
const QStringList presentationTargets = {"pdf"};

QStringList without(QStringList list, const QString& entry) {
    list.removeAll(entry);
    return list;
}

// Only for comparing formats: jpeg is jpg and tif is tiff.
QString normalisedFormat(const QString& extension) {
    const QString lower = extension.toLower();
    if (lower == u"jpeg") {
        return QStringLiteral("jpg");
    }
    if (lower == u"tif") {
        return QStringLiteral("tiff");
    }
    return lower;
}

}  // namespace

RouteTable::RouteTable() {
    // Later steps overwrite earlier ones: the order is part of the table's definition.
    for (const QString& source : imageSources) {
        m_routes.insert(source, {FileCategory::Image, without(imageTargets, source)});
    }
    if (m_routes.contains("jpg")) {
        m_routes.insert("jpeg", m_routes.value("jpg"));
    } else {
        m_routes.remove("jpeg");
    }
    for (const QString& source : rawSources) {
        m_routes.insert(source, {FileCategory::Image, imageTargets});
    }
    m_routes.insert("gif", {FileCategory::Animated, gifTargets});
    for (const QString& source : audioSources) {
        m_routes.insert(source, {FileCategory::Audio, without(audioTargets, source)});
    }
    for (const QString& source : videoSources) {
        m_routes.insert(source, {FileCategory::Video, without(videoTargets, source)});
    }
    for (const QString& source : textFormats) {
        m_routes.insert(source, {FileCategory::Text, without(textFormats, source)});
    }
    m_routes.insert("pdf", {FileCategory::Pdf, pdfTargets});
    m_routes.insert("pptx", {FileCategory::Presentation, presentationTargets});
    m_routes.insert("key", {FileCategory::Presentation, presentationTargets});
}

const RouteTable& RouteTable::shared() {
    static const RouteTable instance;
    return instance;
}

QString RouteTable::extensionKey(const QString& file) {
    const QString name = QFileInfo(file).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

std::optional<ConversionRoute> RouteTable::route(const QString& file) const {
    const auto it = m_routes.constFind(extensionKey(file));
    if (it == m_routes.cend()) {
        return std::nullopt;
    }
    return *it;
}

std::optional<FileCategory> RouteTable::category(const QString& file) const {
    if (const auto found = route(file)) {
        return found->category;
    }
    return std::nullopt;
}

QStringList RouteTable::sourceExtensions() const {
    QStringList keys = m_routes.keys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

QStringList RouteTable::commonTargets(const QStringList& files) const {
    if (files.isEmpty()) {
        return {};
    }
    std::vector<ConversionRoute> routes;
    for (const QString& file : files) {
        if (const auto found = route(file)) {
            routes.push_back(*found);
        }
    }
    if (routes.size() < static_cast<size_t>(files.size())) {
        return {};
    }
    std::set<FileCategory> categories;
    for (const ConversionRoute& found : routes) {
        categories.insert(found.category);
    }
    if (categories.size() > 1) {
        return {};
    }

    QSet<QString> common(routes.front().validTargets.cbegin(), routes.front().validTargets.cend());
    for (const ConversionRoute& found : routes) {
        common.intersect(QSet<QString>(found.validTargets.cbegin(), found.validTargets.cend()));
    }
    QSet<QString> sourceFormats;
    for (const QString& file : files) {
        sourceFormats.insert(normalisedFormat(extensionKey(file)));
    }

    QStringList result;
    for (const QString& target : routes.front().validTargets) {
        if (common.contains(target) && !sourceFormats.contains(normalisedFormat(target))) {
            result << target;
        }
    }
    return result;
}

}  // namespace pivana
