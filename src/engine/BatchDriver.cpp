// The batch driver: one converter call per file, strictly one after another, so two outputs of
// a batch never race for one name.
#include "engine/BatchDriver.h"

#include "engine/Converter.h"
#include "engine/RouteTable.h"

#include <QtConcurrent/QtConcurrentRun>

namespace pivana {

ConversionResult BatchDriver::convert(const QStringList& files, const QString& target,
                                      const SettingsSnapshot& settings,
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
        try {
            result.addSuccess(file, convertFile(file, target, settings, batch));
        } catch (const Error& error) {
            result.addFailure(file, error);
        } catch (const std::exception& error) {
            // A library exception that slipped past a converter's own boundary still fails only
            // this file.
            result.addFailure(file,
                              ConversionError::processFailed(QString::fromUtf8(error.what())));
        }
    }
    return result;
}

QStringList BatchDriver::convertFile(const QString& file, const QString& target,
                                     const SettingsSnapshot& settings, BatchContext& batch) const {
    const auto route = RouteTable::shared().route(file);
    if (!route) {
        throw Error::noRoute();
    }
    const ConverterEntry& entry = m_converters->entryFor(route->category, target);
    if (!entry) {
        throw ConversionError::processFailed(
            QStringLiteral("Converting %1 files is not available in this build")
                .arg(categoryName(route->category)));
    }
    entry(file, target, settings, batch);
    return batch.currentOutputs();
}

QFuture<ConversionResult> BatchDriver::convertInBackground(const QStringList& files,
                                                           const QString& target,
                                                           const SettingsSnapshot& settings,
                                                           const BatchObserver* observer) const {
    // The driver is copied into the task, so the caller's driver may go out of scope.
    return QtConcurrent::run([driver = *this, files, target, settings, observer] {
        return driver.convert(files, target, settings, observer);
    });
}

}  // namespace pivana
