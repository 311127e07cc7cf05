#pragma once

#include <QString>
#include <QStringList>

namespace pivana {

/// What `pivana [FILE...]` and `pivana --convert FORMAT FILE...` ask of the tray app.
struct HandOff {
    /// Absolute paths, in the order given; none: just show the panel.
    QStringList files;
    /// Convert to this at once, as a click on its chip would; empty: the user chooses.
    QString format;
};

/// The tray app's answer to a hand-off.
struct HandOffAnswer {
    bool taken = true;
    /// Why the files were not taken, in one line.
    QString reason;
};

}  // namespace pivana
