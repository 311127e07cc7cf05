#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

class QIcon;

/// The structures the StatusNotifierItem and dbusmenu protocols put on the bus, with their
/// D-Bus marshalling.
namespace pivana::sni {

/// One size of an icon: ARGB32 pixels in network byte order, row by row (a(iiay) member).
struct IconPixmap {
    int width = 0;
    int height = 0;
    QByteArray pixels;
};
using IconPixmaps = QList<IconPixmap>;

/// The icon at the sizes trays draw it at.
IconPixmaps iconPixmaps(const QIcon& icon);

/// A tooltip: themed icon name, icon pixmaps, title and a longer text, (sa(iiay)ss).
struct ToolTip {
    QString iconName;
    IconPixmaps pixmaps;
    QString title;
    QString text;
};

/// A menu entry and, to the depth asked for, its children: (ia{sv}av).
struct MenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<MenuLayoutItem> children;
};

/// One entry's properties: (ia{sv}).
struct MenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using MenuItemPropertiesList = QList<MenuItemProperties>;

/// What the host reports of the user's doing with an entry: (isvu).
struct MenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using MenuEvents = QList<MenuEvent>;

/// Makes the types above known to Qt's D-Bus marshalling; safe to call more than once.
void registerTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const IconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, IconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const ToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, ToolTip& toolTip);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const MenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, MenuEvent& event);

}  // namespace pivana::sni

Q_DECLARE_METATYPE(pivana::sni::IconPixmap)
Q_DECLARE_METATYPE(pivana::sni::ToolTip)
Q_DECLARE_METATYPE(pivana::sni::MenuLayoutItem)
Q_DECLARE_METATYPE(pivana::sni::MenuItemProperties)
Q_DECLARE_METATYPE(pivana::sni::MenuEvent)
