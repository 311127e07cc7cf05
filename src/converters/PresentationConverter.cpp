#include "converters/PresentationConverter.h"

#include "converters/OfficeWork.h"

#include <QDir>
#include <QFileInfo>

namespace pivana::PresentationConverter {

bool impressInstalled(const QString& officeRoot) {
    const QDir root(officeRoot);
    return QFileInfo(root.filePath(QStringLiteral("program/soffice.bin"))).isExecutable() &&
           QFileInfo::exists(root.filePath(QStringLiteral("share/registry/impress.xcd")));
}

void convertWith(const QString& officeRoot, const QString& source, const QString& target,
                 const SettingsSnapshot& settings, BatchContext& batch) {
    OfficeWork work(source, target, settings, batch, officeRoot);
    runOfficeWork(work, batch);
    work.finish();
}

void convert(const QString& source, const QString& target, const SettingsSnapshot& settings,
             BatchContext& batch) {
    convertWith(officeInstallFolder, source, target, settings, batch);
}

}  // namespace pivana::PresentationConverter
