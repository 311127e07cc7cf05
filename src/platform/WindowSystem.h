#pragma once

class QWindow;

/// What the panel needs from the window system beyond Qt's own API.
namespace pivana::WindowSystem {

/// Whether windows can be see-through: always off X11; on X11 only while a compositing
/// manager runs.
bool composites();

/// Raises the window and gives it the keyboard focus, even when the app has had no input of its
/// own lately.
void activate(QWindow& window);

/// Keeps the window out of taskbars and pagers. Called before each showing: the window manager
/// drops these states when the window is hidden.
void keepOutOfTaskbar(QWindow& window);

/// Whether a pointer button is held down, in whichever window; false where that cannot be asked.
bool pointerButtonHeld();

}  // namespace pivana::WindowSystem
