#pragma once

#include <QStringList>

#include <memory>

class QFileDialog;
class QWindow;

namespace pivana {

/// Qt's own file dialog, set up to pick files to convert: several at once, folders browsable but
/// not choosable, and only files that convert (once one is selected, only files of its kind).
/// It opens in `folder`, or in the home folder when that is empty or gone, as a dialog of
/// `panel` when one is given.
std::unique_ptr<QFileDialog> makeBrowseDialog(const QString& folder, QWindow* panel = nullptr);

/// Runs that dialog and returns the chosen files, or nothing when cancelled. `folder` is where it
/// opens; afterwards it holds the folder the dialog was left in, for the next time.
QStringList browseForFiles(QString& folder, QWindow* panel = nullptr);

}  // namespace pivana
