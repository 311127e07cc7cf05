#pragma once

#include <QString>
#include <QStringList>

namespace pivana {

/// The desktop services the app reports a batch's outcome through: notifications and the file
/// viewer. The platform layer implements them; tests record the calls.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    /// Whether notifications can be shown (a notification service answers).
    virtual bool notificationsAuthorized() = 0;
    virtual void postNotification(const QString& title, const QString& body) = 0;
    /// Shows the files selected in the file viewer (or their folder, where there is none).
    virtual void revealFiles(const QStringList& files) = 0;
};

}  // namespace pivana
