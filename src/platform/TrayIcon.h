#pragma once

#include <QObject>
#include <QRect>
#include <QSystemTrayIcon>

class QIcon;
class QMenu;

namespace pivana {

/// The app's icon in the desktop's tray, whichever protocol shows it. The tray controller only
/// talks to this, so a host of another kind needs only another implementation.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    /// Whether a tray host runs that can show the icon.
    virtual bool hostAvailable() const = 0;
    virtual void show() = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    virtual void setToolTip(const QString& text) = 0;
    /// The menu of a secondary click; the caller keeps it alive.
    virtual void setMenu(QMenu* menu) = 0;
    /// What a panel opened from the icon is placed against: the icon's rectangle on screen when
    /// the host tells it, else a 1 × 1 rectangle at the pointer.
    virtual QRect anchor() const = 0;

Q_SIGNALS:
    /// A primary click (or a double click) on the icon.
    void activated();
};

/// The icon through QSystemTrayIcon, which finds the desktop's tray host itself.
class QtTrayIcon final : public TrayIcon {
    Q_OBJECT

public:
    explicit QtTrayIcon(QObject* parent = nullptr);

    bool hostAvailable() const override;
    void show() override;
    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    void setMenu(QMenu* menu) override;
    QRect anchor() const override;

private:
    QSystemTrayIcon m_icon;
};

}  // namespace pivana
