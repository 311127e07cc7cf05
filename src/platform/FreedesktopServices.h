#pragma once

#include "ui/DesktopServices.h"

namespace pivana {

/// Notifications through org.freedesktop.Notifications and the file viewer through
/// org.freedesktop.FileManager1 on the session bus; without a file manager service, the folder
/// of the first file opens with the desktop's default handler.
class FreedesktopServices : public DesktopServices {
public:
    bool notificationsAuthorized() override;
    void postNotification(const QString& title, const QString& body) override;
    void revealFiles(const QStringList& files) override;
};

}  // namespace pivana
