#pragma once

#include <QPointF>
#include <QSizeF>

#include <vector>

namespace pivana {

/// Lays chips out left to right, wrapping onto further lines; `spacing` separates chips on a
/// line and the lines themselves. Every chip keeps its ideal size.
struct FlowLayout {
    double spacing = 5;

    /// Width used when the caller proposes none.
    static constexpr double defaultWidth = 260;

    /// The size the chips need within `width` (negative: unspecified). The width answered is
    /// always the whole available width.
    QSizeF sizeThatFits(const std::vector<QSizeF>& chips, double width) const;

    /// Top-left corners of the chips inside a rectangle at `origin` that is `width` wide.
    std::vector<QPointF> place(const std::vector<QSizeF>& chips, QPointF origin,
                               double width) const;
};

}  // namespace pivana
