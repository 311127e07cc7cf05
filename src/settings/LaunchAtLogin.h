#pragma once

#include <QString>

namespace pivana {

/// Starting Pivana at login through an XDG autostart entry in the user's autostart folder. The
/// entry itself is the only record: "enabled" means our entry is there and not hidden.
class LaunchAtLogin {
public:
    /// Entries in `configHome`/autostart (the XDG config folder by default).
    explicit LaunchAtLogin(QString configHome = {});

    bool isEnabled() const;
    /// Writes or removes the entry; on failure returns a readable reason, else an empty text.
    QString setEnabled(bool enabled, const QString& program) const;

    QString entryPath() const;

private:
    QString m_configHome;
};

}  // namespace pivana
