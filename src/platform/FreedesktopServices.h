#pragma once

#include "ui/DesktopServices.h"

namespace pivana {

/// Notifications through org.freedesktop.Notifications and the file viewer through
/// org.freedesktop.FileManager1 on the session bus; without a file manager service, the folder
/// of the first file opens with the desktop's default handler.
class FreedesktopServices : public DesktopServices {
public:
    /// The body as a server with these capabilities shows it: where it reads markup in bodies
    /// ("body-markup"), a file name's "&" or "<" is text, not markup.
    static QString notificationBody(const QString& body, const QStringList& capabilities);

    bool notificationsAuthorized() override;
    void postNotification(const QString& title, const QString& body) override;
    void revealFiles(const QStringList& files) override;
};

}  // namespace pivana
