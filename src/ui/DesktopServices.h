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
    /// Posts a notification. `outputs`: the files it tells of, which a "Show in folder" action
    /// reveals where the notification server offers actions; empty for none.
    virtual void postNotification(const QString& title, const QString& body,
                                  const QStringList& outputs) = 0;
    /// Shows the files selected in the file viewer (or their folder, where there is none).
    virtual void revealFiles(const QStringList& files) = 0;
};

}  // namespace pivana
