#include "ui/ThemeColours.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace pivana {

namespace {

constexpr double textContrast = 4.5;
constexpr double partContrast = 3.0;
constexpr double panelOpacity = 0.95;

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

QColor withAlpha(QColor colour, double alpha) {
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}

// `weight` of `to` and the rest of `from`, channel by channel.
QColor mix(const QColor& from, const QColor& to, double weight) {
    const auto channel = [weight](float a, float b) {
        return static_cast<float>(a * (1 - weight) + b * weight);
    };
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    return QColor::fromRgbF(channel(a.redF(), b.redF()), channel(a.greenF(), b.greenF()),
                            channel(a.blueF(), b.blueF()), channel(a.alphaF(), b.alphaF()));
}

bool readableOnAll(const QColor& colour, std::initializer_list<QColor> backgrounds, double ratio) {
    return std::all_of(backgrounds.begin(), backgrounds.end(), [&](const QColor& background) {
        return worstContrast(colour, background) >= ratio;
    });
}

// `colour`, or the nearest shade of it towards black or white (whichever stands out more from
// the backgrounds) that has `ratio` against each of them. The hue stays, so a blue highlight
// still reads as blue.
QColor readableOn(const QColor& colour, std::initializer_list<QColor> backgrounds, double ratio) {
    if (readableOnAll(colour, backgrounds, ratio)) {
        return colour;
    }
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    const QColor& first = *backgrounds.begin();
    const QColor target =
        worstContrast(black, first) >= worstContrast(white, first) ? black : white;
    constexpr int steps = 64;
    for (int step = 1; step < steps; ++step) {
        const QColor shade = mix(colour, target, static_cast<double>(step) / steps);
        if (readableOnAll(shade, backgrounds, ratio)) {
            return shade;
        }
    }
    return target;
}

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor over(const QColor& colour, const QColor& below) {
    const QColor top = colour.toRgb();
    const QColor bottom = below.toRgb();
    const double a = top.alphaF();
    const double b = bottom.alphaF() * (1 - a);
    const double alpha = a + b;
    if (alpha <= 0) {
        return QColor(Qt::transparent);
    }
    const auto channel = [&](double t, double u) {
        return static_cast<float>((t * a + u * b) / alpha);
    };
    return QColor::fromRgbF(channel(top.redF(), bottom.redF()),
                            channel(top.greenF(), bottom.greenF()),
                            channel(top.blueF(), bottom.blueF()), static_cast<float>(alpha));
}

double worstContrast(const QColor& foreground, const QColor& background) {
    double worst = 21;
    for (const QColor backdrop : {QColor(Qt::black), QColor(Qt::white)}) {
        const QColor behind = over(background, backdrop);
        worst = std::min(worst, contrastRatio(over(foreground, behind), behind));
    }
    return worst;
}

ThemeColours themeColours(const QPalette& palette) {
    const auto role = [&palette](QPalette::ColorRole r) {
        return withAlpha(palette.color(QPalette::Active, r), 1);
    };
    const QColor text = role(QPalette::WindowText);
    // A window too close to its own text leaves no shade of text readable on it once the
    // panel is see-through or tinted: such a window gives way.
    const QColor window = readableOn(role(QPalette::Window), {text}, 7.0);
    const QColor highlight = role(QPalette::Highlight);

    ThemeColours c;
    c.dark = luminance(window) < luminance(text);
    c.panelOpaque = window;
    c.panel = withAlpha(window, panelOpacity);
    c.primary = readableOn(text, {c.panel}, textContrast);
    c.secondary = readableOn(mix(window, text, 0.72), {c.panel}, textContrast);
    c.tertiary = readableOn(mix(window, text, 0.6), {c.panel}, textContrast);
    c.outline = withAlpha(text, 0.14);
    c.hover = withAlpha(text, 0.08);

    c.accent = readableOn(highlight, {c.panel}, partContrast);
    c.selectedFill = withAlpha(c.accent, 0.12);
    c.accentText = readableOn(c.accent, {c.panel, over(c.selectedFill, c.panel)}, textContrast);
    c.onButton = role(QPalette::HighlightedText);
    // The button gives way to its text, not the other way round: the text keeps the palette's
    // colour for text on a highlight.
    c.button = readableOn(highlight, {c.onButton}, textContrast);

    c.warning = readableOn(c.dark ? QColor(0xff, 0xa0, 0x33) : QColor(0xc2, 0x57, 0x00), {c.panel},
                           textContrast);
    c.error = readableOn(c.dark ? QColor(0xff, 0x6b, 0x60) : QColor(0xc4, 0x26, 0x1d), {c.panel},
                         textContrast);

    c.field = role(QPalette::Base);
    c.fieldText = readableOn(role(QPalette::Text), {c.field}, textContrast);
    c.fieldEdge = mix(c.field, c.fieldText, c.dark ? 0.28 : 0.22);
    c.track = readableOn(mix(window, text, 0.4), {c.panel}, partContrast);
    c.knob = c.dark ? mix(window, text, 0.92) : QColor(Qt::white);
    c.knobEdge = withAlpha(Qt::black, c.dark ? 0.5 : 0.22);
    return c;
}

std::vector<ColourPair> colourPairs(const ThemeColours& c) {
    return {
        {"text on the panel", c.primary, c.panel, textContrast},
        {"secondary text", c.secondary, c.panel, textContrast},
        {"faint text", c.tertiary, c.panel, textContrast},
        {"a hovered row or chip", c.primary, over(c.hover, c.panel), textContrast},
        {"a selected chip", c.accentText, over(c.selectedFill, c.panel), textContrast},
        {"a text button", c.accentText, c.panel, textContrast},
        {"the failure headline", c.warning, c.panel, textContrast},
        {"a missing folder", c.error, c.panel, textContrast},
        {"the prominent button, a chosen menu entry", c.onButton, c.button, textContrast},
        {"a pop-up button or menu", c.fieldText, c.field, textContrast},
        {"a switch that is on, a slider's filled part, the focus ring", c.accent, c.panel,
         partContrast},
        {"a switch that is off", c.track, c.panel, partContrast},
    };
}

}  // namespace pivana
