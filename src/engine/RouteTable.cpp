#include "engine/RouteTable.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

namespace pivana {

namespace {

template <std::size_t N>
QStringList listOf(const std::array<std::string_view, N>& names) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(N));
    for (const std::string_view name : names) {
        list << QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    }
    return list;
}

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
    using namespace formats;
    const QStringList images = listOf(imageTargets);
    const QStringList audio = listOf(audioTargets);
    const QStringList videos = listOf(videoTargets);
    const QStringList texts = listOf(textFormats);
    // Later steps overwrite earlier ones: the order is part of the table's definition.
    for (const QString& source : listOf(imageSources)) {
        m_routes.insert(source, {FileCategory::Image, without(images, source)});
    }
    if (m_routes.contains("jpg")) {
        m_routes.insert("jpeg", m_routes.value("jpg"));
    } else {
        m_routes.remove("jpeg");
    }
    for (const QString& source : listOf(rawSources)) {
        m_routes.insert(source, {FileCategory::Image, images});
    }
    for (const QString& source : listOf(animatedSources)) {
        m_routes.insert(source, {FileCategory::Animated, listOf(animatedTargets)});
    }
    for (const QString& source : listOf(audioSources)) {
        m_routes.insert(source, {FileCategory::Audio, without(audio, source)});
    }
    for (const QString& source : listOf(videoSources)) {
        m_routes.insert(source, {FileCategory::Video, without(videos, source)});
    }
    for (const QString& source : texts) {
        m_routes.insert(source, {FileCategory::Text, without(texts, source)});
    }
    for (const QString& source : listOf(pdfSources)) {
        m_routes.insert(source, {FileCategory::Pdf, listOf(pdfTargets)});
    }
    for (const QString& source : listOf(presentationSources)) {
        m_routes.insert(source, {FileCategory::Presentation, listOf(presentationTargets)});
    }
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

QStringList RouteTable::targets(FileCategory category) {
    using namespace formats;
    switch (category) {
        case FileCategory::Image:
            return listOf(imageTargets);
        case FileCategory::Animated:
            return listOf(animatedTargets);
        case FileCategory::Audio:
            return listOf(audioTargets);
        case FileCategory::Video:
            return listOf(videoTargets);
        case FileCategory::Text:
            return listOf(textFormats);
        case FileCategory::Pdf:
            return listOf(pdfTargets);
        case FileCategory::Presentation:
            return listOf(presentationTargets);
    }
    return {};
}

bool RouteTable::isMovie(const QString& format) {
    return formats::isMovie(format.toStdString());
}

const formats::AudioEncoding* RouteTable::audioEncoding(const QString& format) {
    return formats::audioEncoding(format.toStdString());
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
