#include "ui/DropRules.h"

namespace pivana::DropRules {

QStringList localFiles(const QList<QUrl>& urls) {
    QStringList files;
    for (const QUrl& url : urls) {
        // "file:" with no path names nothing to convert.
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            files << url.toLocalFile();
        }
    }
    return files;
}

}  // namespace pivana::DropRules
