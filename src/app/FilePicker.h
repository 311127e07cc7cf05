#pragma once

#include <QStringList>

class QWidget;

namespace pivana {

/// Qt's own file dialog, several files at once, folders browsable but not choosable, and only
/// files that convert (once one is selected, only files of its kind). Returns the chosen files,
/// or nothing when cancelled.
QStringList browseForFiles(QWidget* parent = nullptr);

}  // namespace pivana
