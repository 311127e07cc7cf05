#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

#include <vector>

namespace pivana {

/// Contrast of two opaque colours by the WCAG formula: from 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

/// What the eye sees where `colour` is drawn over `below`: its alpha decides how much of `below`
/// shows through.
QColor over(const QColor& colour, const QColor& below);

/// The least contrast of `foreground` on `background`, whatever lies behind a see-through
/// background (anything from black to white).
double worstContrast(const QColor& foreground, const QColor& background);

/// The panel's colours, made from the desktop's palette: its window, text and highlight colours,
/// each moved only as far as it must be for the text drawn with it to stay readable.
struct ThemeColours {
    bool dark = false;
    QColor panel;         ///< the panel's background, slightly see-through
    QColor panelOpaque;   ///< the same where windows cannot be see-through
    QColor primary;       ///< ordinary text
    QColor secondary;     ///< text that matters less: section titles, chips at rest, details
    QColor tertiary;      ///< the faintest text: the idle hint, a failure's reason
    QColor outline;       ///< dividers and the panel's edge
    QColor hover;         ///< the fill under a hovered row or chip
    QColor accent;        ///< the highlight, for fills: a switch that is on, a slider, focus
    QColor accentText;    ///< text in the highlight's colour: a selected chip, a text button
    QColor selectedFill;  ///< the fill of a selected chip
    QColor button;        ///< the prominent button and the chosen entry of a menu
    QColor onButton;      ///< text on `button`
    QColor warning;       ///< the failure headline and the warning sign
    QColor error;         ///< the name of a missing folder
    QColor field;         ///< pop-up buttons and menus
    QColor fieldText;     ///< text on `field`
    QColor fieldEdge;     ///< the edge of `field`
    QColor track;         ///< a switch that is off, the empty part of a slider
    QColor knob;          ///< a switch's knob, a slider's handle
    QColor knobEdge;      ///< the edge of `knob`
};

ThemeColours themeColours(const QPalette& palette);

/// One thing the panel draws on another, and the least contrast it needs: 4.5 for text, 3 for a
/// part of a control that shows its state.
struct ColourPair {
    QString what;
    QColor foreground;
    QColor background;
    double minimum;
};

/// Every pairing of colours the panel and the settings screen draw.
std::vector<ColourPair> colourPairs(const ThemeColours& colours);

}  // namespace pivana
