#pragma once

#include <QString>

namespace pivana {

/// Qt's own folder chooser for the output folder; empty when cancelled.
QString chooseOutputFolder();

/// Asks before sources are deleted after conversion; true when the user chose "Enable".
bool confirmReplaceOriginal();

}  // namespace pivana
