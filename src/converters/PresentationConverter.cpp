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

Written convertWith(const QString& officeRoot, const ConversionJob& job) {
    OfficeWork work(job, officeRoot);
    runOfficeWork(work, job.batch);
    return work.finish();
}

Written convert(const ConversionJob& job) {
    return convertWith(officeInstallFolder, job);
}

}  // namespace pivana::PresentationConverter
