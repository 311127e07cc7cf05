#pragma once

class QWidget;
class QWindow;

namespace pivana {

/// Makes a dialog one of the panel's: transient for it, so that the window manager keeps it
/// above the panel, leaves it out of the taskbar, and gives the activation back to the panel
/// when it closes; placed over the panel rather than in the middle of the screen; with a title
/// bar that offers to close it and nothing else. Without a panel the dialog stays as it was.
void belongToPanel(QWidget& dialog, QWindow* panel);

}  // namespace pivana
