#include "ui/ChipFlow.h"

namespace pivana {

ChipFlow::ChipFlow(QQuickItem* parent) : QQuickItem(parent) {}

void ChipFlow::setSpacing(qreal spacing) {
    if (m_layout.spacing != spacing) {
        m_layout.spacing = spacing;
        polish();
        Q_EMIT spacingChanged();
    }
}

void ChipFlow::itemChange(ItemChange change, const ItemChangeData& value) {
    if (change == ItemChildAddedChange && value.item) {
        connect(value.item, &QQuickItem::implicitWidthChanged, this, &QQuickItem::polish);
        connect(value.item, &QQuickItem::implicitHeightChanged, this, &QQuickItem::polish);
        connect(value.item, &QQuickItem::visibleChanged, this, &QQuickItem::polish);
    }
    if (change == ItemChildAddedChange || change == ItemChildRemovedChange) {
        polish();
    }
    QQuickItem::itemChange(change, value);
}

void ChipFlow::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.width() != oldGeometry.width()) {
        polish();
    }
}

void ChipFlow::updatePolish() {
    std::vector<QQuickItem*> items;
    std::vector<QSizeF> sizes;
    for (QQuickItem* child : childItems()) {
        if (child->isVisible()) {
            items.push_back(child);
            sizes.emplace_back(child->implicitWidth(), child->implicitHeight());
        }
    }
    const std::vector<QPointF> positions = m_layout.place(sizes, QPointF(0, 0), width());
    for (size_t i = 0; i < items.size(); ++i) {
        items[i]->setPosition(positions[i]);
        items[i]->setSize(sizes[i]);
    }
    setImplicitHeight(m_layout.sizeThatFits(sizes, width() > 0 ? width() : -1).height());
}

}  // namespace pivana
