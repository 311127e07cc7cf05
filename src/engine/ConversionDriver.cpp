// The batch driver: one converter call per file, strictly one after another.
#include "engine/ConversionRouter.h"
#include "engine/Converter.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace pivana {

void BatchContext::beginFile(int index) {
    m_index = index;
    m_currentOutputs.clear();
}

void BatchContext::reportProgress(double fraction) const {
    if (m_observer && m_observer->fileProgress) {
        m_observer->fileProgress(m_index, std::clamp(fraction, 0.0, 1.0));
    }
}

bool BatchContext::wasWrittenInThisBatch(const QString& absolutePath) const {
    return m_written.contains(absolutePath);
}

void BatchContext::recordOutput(const QString& absolutePath) {
    m_written.insert(absolutePath);
    m_currentOutputs << absolutePath;
}

const ConverterEntry& ConverterTable::entryFor(FileCategory category, const QString& target) const {
    switch (category) {
        case FileCategory::Image:
            return image;
        case FileCategory::Animated:
            if (target == u"mp4" || target == u"mov" || target == u"m4v") {
                return gifToVideo;
            }
            return image;
        case FileCategory::Audio:
            return audio;
        case FileCategory::Video:
            return video;
        case FileCategory::Text:
            return text;
        case FileCategory::Pdf:
            return pdf;
        case FileCategory::Presentation:
            return presentation;
    }
    return image;
}

ConversionResult ConversionRouter::convert(const QStringList& files, const QString& target,
                                           const SettingsSnapshot& settings,
                                           const ConverterTable& converters,
                                           const BatchObserver* observer) const {
    ConversionResult result;
    BatchContext batch(observer);
    const int count = static_cast<int>(files.size());
    for (int index = 0; index < count; ++index) {
        const QString& file = files[index];
        batch.beginFile(index);
        if (observer && observer->fileStarted) {
            observer->fileStarted(index, count, file);
        }
        const auto found = route(file);
        if (!found) {
            result.failed.push_back({file, Error::noRoute()});
            continue;
        }
        try {
            const ConverterEntry& entry = converters.entryFor(found->category, target);
            if (!entry) {
                throw ConversionError::processFailed(
                    QStringLiteral("Converting %1 files is not available in this build")
                        .arg(categoryName(found->category)));
            }
            entry(file, target, settings, batch);
            result.succeeded << file;
            result.outputs.push_back(batch.currentOutputs());
        } catch (const Error& error) {
            result.failed.push_back({file, error});
        } catch (const std::exception& error) {
            // A library exception that slipped past a converter's own boundary still fails only
            // this file.
            result.failed.push_back(
                {file, ConversionError::processFailed(QString::fromUtf8(error.what()))});
        }
    }
    return result;
}

ConversionResult ConversionRouter::convert(const QStringList& files, const QString& target,
                                           const SettingsSnapshot& settings,
                                           const BatchObserver* observer) const {
    return convert(files, target, settings, ConverterTable::standard(), observer);
}

QFuture<ConversionResult> ConversionRouter::convertInBackground(
    const QStringList& files, const QString& target, const SettingsSnapshot& settings,
    const BatchObserver* observer) const {
    return QtConcurrent::run([this, files, target, settings, observer] {
        return convert(files, target, settings, observer);
    });
}

}  // namespace pivana
