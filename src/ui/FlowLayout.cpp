#include "ui/FlowLayout.h"

#include <algorithm>

namespace pivana {

QSizeF FlowLayout::sizeThatFits(const std::vector<QSizeF>& chips, double width) const {
    const double available = width < 0 ? defaultWidth : width;
    double x = 0;
    double y = 0;
    double lineHeight = 0;
    for (const QSizeF& chip : chips) {
        if (x > 0 && x + chip.width() > available) {
            y += lineHeight + spacing;
            x = 0;
            lineHeight = std::max(0.0, chip.height());
        } else {
            lineHeight = std::max(lineHeight, chip.height());
        }
        x += chip.width() + spacing;
    }
    return {available, y + lineHeight};
}

std::vector<QPointF> FlowLayout::place(const std::vector<QSizeF>& chips, QPointF origin,
                                       double width) const {
    std::vector<QPointF> positions;
    positions.reserve(chips.size());
    const double right = origin.x() + width;
    double x = origin.x();
    double y = origin.y();
    double lineHeight = 0;
    for (const QSizeF& chip : chips) {
        // A line breaks only when the chip itself would pass the edge; touching it is fine.
        if (x + chip.width() > right && x > origin.x()) {
            y += lineHeight + spacing;
            x = origin.x();
            lineHeight = 0;
        }
        positions.emplace_back(x, y);
        lineHeight = std::max(lineHeight, chip.height());
        x += chip.width() + spacing;
    }
    return positions;
}

}  // namespace pivana
