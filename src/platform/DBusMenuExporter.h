#pragma once

#include "platform/StatusNotifierTypes.h"

#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QAction;
class QMenu;

namespace pivana {

/// A flat QMenu offered on the session bus by the com.canonical.dbusmenu protocol, which
/// StatusNotifierItem hosts read to draw the item's context menu themselves. Entry ids are the
/// actions' places in the menu from 1 on; 0 is the menu itself. "clicked" on an entry triggers
/// its action once the call is answered.
class DBusMenuExporter final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DBusMenuExporter(QObject* parent = nullptr);

    /// The menu to offer; the caller keeps it alive.
    void setMenu(QMenu* menu);

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                pivana::sni::MenuLayoutItem& layout);
    Q_SCRIPTABLE pivana::sni::MenuItemPropertiesList GetGroupProperties(
        const QList<int>& ids, const QStringList& propertyNames);
    Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
    Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data,
                            uint timestamp);
    // Spelled out, not by its alias: D-Bus finds the marshalling of a parameter by the type name
    // moc records, and knows the list by its own name only.
    Q_SCRIPTABLE QList<int> EventGroup(const QList<pivana::sni::MenuEvent>& events);
    Q_SCRIPTABLE bool AboutToShow(int id);
    Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

Q_SIGNALS:
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);
    Q_SCRIPTABLE void ItemActivationRequested(int id, uint timestamp);

private:
    /// The action of an entry id; null for the menu itself and for ids it does not have.
    QAction* action(int id) const;
    bool knows(int id) const { return id == 0 || action(id); }
    QVariantMap properties(int id, const QStringList& names) const;
    /// Acts on one event; false when the id is not one of the menu's.
    bool handle(int id, const QString& eventId);
    void refuseUnknown(int id);

    QPointer<QMenu> m_menu;
    uint m_revision = 1;
};

}  // namespace pivana
