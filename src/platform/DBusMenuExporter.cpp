#include "platform/DBusMenuExporter.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>

namespace pivana {

namespace {

// Qt marks a mnemonic with '&' ("&&" for the character itself); the protocol with '_'.
QString protocolLabel(QString text) {
    text.replace(QLatin1Char('_'), QStringLiteral("__"));
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            label += text[i + 1] == u'&' ? QStringLiteral("&") : QStringLiteral("_");
            if (text[i + 1] == u'&') {
                ++i;
            }
        } else {
            label += text[i];
        }
    }
    return label;
}

}  // namespace

DBusMenuExporter::DBusMenuExporter(QObject* parent) : QObject(parent) {
    sni::registerTypes();
}

void DBusMenuExporter::setMenu(QMenu* menu) {
    m_menu = menu;
    ++m_revision;
    Q_EMIT LayoutUpdated(m_revision, 0);
}

QString DBusMenuExporter::textDirection() const {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

QAction* DBusMenuExporter::action(int id) const {
    if (!m_menu || id < 1 || id > m_menu->actions().size()) {
        return nullptr;
    }
    return m_menu->actions().at(id - 1);
}

QVariantMap DBusMenuExporter::properties(int id, const QStringList& names) const {
    QVariantMap all;
    if (id == 0) {
        all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (const QAction* entry = action(id)) {
        if (entry->isSeparator()) {
            all.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            all.insert(QStringLiteral("label"), protocolLabel(entry->text()));
        }
        all.insert(QStringLiteral("enabled"), entry->isEnabled());
        all.insert(QStringLiteral("visible"), entry->isVisible());
    }
    if (names.isEmpty()) {
        return all;
    }
    QVariantMap asked;
    for (const QString& name : names) {
        if (all.contains(name)) {
            asked.insert(name, all.value(name));
        }
    }
    return asked;
}

void DBusMenuExporter::refuseUnknown(int id) {
    sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No menu entry has the id %1").arg(id));
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 sni::MenuLayoutItem& layout) {
    if (!knows(parentId)) {
        refuseUnknown(parentId);
        return m_revision;
    }
    layout = {parentId, properties(parentId, propertyNames), {}};
    // Only the menu itself has children; a depth of -1 asks for all of them.
    if (parentId == 0 && recursionDepth != 0 && m_menu) {
        for (int id = 1; id <= m_menu->actions().size(); ++id) {
            layout.children << sni::MenuLayoutItem{id, properties(id, propertyNames), {}};
        }
    }
    return m_revision;
}

sni::MenuItemPropertiesList DBusMenuExporter::GetGroupProperties(const QList<int>& ids,
                                                                 const QStringList& propertyNames) {
    sni::MenuItemPropertiesList found;
    for (const int id : ids) {
        if (knows(id)) {
            found << sni::MenuItemProperties{id, properties(id, propertyNames)};
        }
    }
    return found;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
    const QVariantMap all = properties(id, {});
    if (!knows(id) || !all.contains(name)) {
        sendErrorReply(QDBusError::InvalidArgs,
                       QStringLiteral("Menu entry %1 has no property %2").arg(id).arg(name));
        return QDBusVariant(QVariant(0));
    }
    return QDBusVariant(all.value(name));
}

bool DBusMenuExporter::handle(int id, const QString& eventId) {
    if (!knows(id)) {
        return false;
    }
    QAction* entry = action(id);
    if (entry && eventId == u"clicked" && entry->isEnabled()) {
        // After the answer: the action may end the app ("Quit").
        QMetaObject::invokeMethod(entry, &QAction::trigger, Qt::QueuedConnection);
    }
    return true;
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (!handle(id, eventId)) {
        refuseUnknown(id);
    }
}

QList<int> DBusMenuExporter::EventGroup(const QList<sni::MenuEvent>& events) {
    QList<int> unknown;
    for (const sni::MenuEvent& event : events) {
        if (!handle(event.id, event.eventId)) {
            unknown << event.id;
        }
    }
    return unknown;
}

bool DBusMenuExporter::AboutToShow(int) {
    return false;  // the menu never changes while it is shown
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    for (const int id : ids) {
        if (!knows(id)) {
            idErrors << id;
        }
    }
    return {};
}

}  // namespace pivana
