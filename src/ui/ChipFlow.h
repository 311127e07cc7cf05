#pragma once

#include "ui/FlowLayout.h"

#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace pivana {

/// A QML container that places its children by the flow layout, each at its implicit size,
/// and takes the height they need.
class ChipFlow : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qreal spacing READ spacing WRITE setSpacing NOTIFY spacingChanged)

public:
    explicit ChipFlow(QQuickItem* parent = nullptr);

    qreal spacing() const { return m_layout.spacing; }
    void setSpacing(qreal spacing);

Q_SIGNALS:
    void spacingChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData& value) override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void updatePolish() override;

private:
    FlowLayout m_layout;
};

}  // namespace pivana
