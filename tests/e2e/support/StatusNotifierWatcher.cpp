// A StatusNotifierWatcher with a host registered, for a desktop under Xvfb: it keeps the items
// that register and forgets those whose owner leaves the bus. Desktops build this into their
// panels; no package offers one that runs on its own.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>

#include <cstdio>

namespace {

const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");

class Watcher final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    Watcher() {
        m_owners.setConnection(QDBusConnection::sessionBus());
        m_owners.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(&m_owners, &QDBusServiceWatcher::serviceUnregistered, this,
                [this](const QString& owner) {
                    const QStringList items = m_items;
                    for (const QString& item : items) {
                        if (item.startsWith(owner + '/')) {
                            m_items.removeAll(item);
                            Q_EMIT StatusNotifierItemUnregistered(item);
                        }
                    }
                });
    }

    QStringList items() const { return m_items; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    // The item names either its bus name or its object path on the caller's connection.
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& serviceOrPath) {
        const bool path = serviceOrPath.startsWith('/');
        const QString owner = path ? message().service() : serviceOrPath;
        const QString item = owner + (path ? serviceOrPath : QStringLiteral("/StatusNotifierItem"));
        if (!m_items.contains(item)) {
            m_items << item;
            m_owners.addWatchedService(owner);
            Q_EMIT StatusNotifierItemRegistered(item);
        }
    }
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString& item);
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString& item);
    Q_SCRIPTABLE void StatusNotifierHostRegistered();

private:
    QStringList m_items;
    QDBusServiceWatcher m_owners;
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Watcher watcher;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(
            QStringLiteral("/StatusNotifierWatcher"), &watcher,
            QDBusConnection::ExportScriptableContents | QDBusConnection::ExportAllProperties) ||
        !bus.registerService(service)) {
        std::fprintf(stderr, "cannot own %s\n", qPrintable(service));
        return 1;
    }
    return app.exec();
}

#include "StatusNotifierWatcher.moc"
