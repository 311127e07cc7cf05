#pragma once

#include "ui/DesktopServices.h"

#include <QHash>
#include <QObject>

namespace pivana {

/// Notifications through org.freedesktop.Notifications and the file viewer through
/// org.freedesktop.FileManager1 on the session bus. A notification about written files offers
/// "Show in folder" where the server shows actions. Where no file manager service answers, the
/// folder of the first file opens with the desktop's default handler.
class FreedesktopServices : public QObject, public DesktopServices {
    Q_OBJECT

public:
    FreedesktopServices();

    /// The body as a server with these capabilities shows it: where it reads markup in bodies
    /// ("body-markup"), a file name's "&" or "<" is text, not markup.
    static QString notificationBody(const QString& body, const QStringList& capabilities);

    bool notificationsAuthorized() override;
    void postNotification(const QString& title, const QString& body,
                          const QStringList& outputs) override;
    void revealFiles(const QStringList& files) override;

private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    /// The outputs of each notification still shown that offers to show them.
    QHash<uint, QStringList> m_outputs;
};

}  // namespace pivana
