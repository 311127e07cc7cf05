#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

namespace pivana::DropRules {

/// The file locations a drag carries, in its order. Other URLs, such as web links dragged along
/// with files, are left out: a drag is taken for its files and refused only when it has none.
QStringList localFiles(const QList<QUrl>& urls);

}  // namespace pivana::DropRules
