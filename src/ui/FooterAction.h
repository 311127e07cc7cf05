#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace pivana {

/// One row of the popover's footer: the icon and label it shows and what a click does. The
/// popover decides which rows a state offers; the view only draws them.
class FooterAction : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Footer rows come from the popover")
    Q_PROPERTY(QString icon READ icon CONSTANT)
    Q_PROPERTY(QString label READ label CONSTANT)

public:
    /// `icon` names one of the panel's line icons.
    FooterAction(QString icon, QString label, std::function<void()> action,
                 QObject* parent = nullptr)
        : QObject(parent),
          m_icon(std::move(icon)),
          m_label(std::move(label)),
          m_action(std::move(action)) {}

    QString icon() const { return m_icon; }
    QString label() const { return m_label; }
    Q_INVOKABLE void trigger() { m_action(); }

private:
    QString m_icon;
    QString m_label;
    std::function<void()> m_action;
};

}  // namespace pivana
