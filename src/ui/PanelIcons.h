#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

/// The panel's symbols and the tray's icon. A symbol comes from the desktop's icon theme where
/// the theme has a one-colour version of it, else from our own drawings, which are made for 16,
/// 22 and 24 pixels so that their lines fall on whole pixels at those sizes and their multiples.
namespace pivana::PanelIcons {

/// The symbol `name` (arrowDown, checkmark, gear, power, clockwise, xmark, back, warning,
/// chevronDown) as a `pixels`-square image in `colour`. An unknown name gives a transparent
/// image.
QImage symbol(const QString& name, int pixels, const QColor& colour);

/// Our own drawing of `name` at `pixels`: the design made for that size or one it is a multiple
/// of, else the largest that fits, scaled.
QImage drawing(const QString& name, int pixels);

/// Where the desktop's icon theme has `name` as a one-colour symbol: that symbol, `pixels`
/// square; else a null image. Coloured icons are passed over: tinted, they would be blots.
QImage themeSymbol(const QString& name, int pixels);

/// The tray's icon, at rest or converting: white on a blue badge with a light rim, which stands
/// out on light and dark trays alike, drawn for each size a tray asks for.
QIcon trayIcon(bool converting);

}  // namespace pivana::PanelIcons
