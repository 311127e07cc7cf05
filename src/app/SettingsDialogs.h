#pragma once

#include <QString>

class QWindow;

namespace pivana {

/// Qt's own folder chooser for the output folder, a dialog of the panel; empty when cancelled.
QString chooseOutputFolder(QWindow* panel);

/// Asks, in a dialog of the panel, before sources are deleted after conversion; true when the user
/// chose "Enable".
bool confirmReplaceOriginal(QWindow* panel);

}  // namespace pivana
