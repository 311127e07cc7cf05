#pragma once

#include <QObject>
#include <QStringList>

namespace pivana {

/// The desktop services the app reports through: freedesktop notifications and the file viewer.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    /// Whether a notification service answers on the session bus.
    virtual bool notificationsAuthorized() = 0;
    virtual void postNotification(const QString& title, const QString& body) = 0;
    /// Shows the files selected in the file viewer (or their folder, where there is none).
    virtual void revealFiles(const QStringList& files) = 0;
};

/// State shared by the tray icon, its panel and the popover inside it.
class AppState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isConverting READ isConverting WRITE setConverting NOTIFY isConvertingChanged)
    Q_PROPERTY(bool panelVisible READ panelVisible WRITE setPanelVisible NOTIFY panelVisibleChanged)

public:
    explicit AppState(DesktopServices& services, QObject* parent = nullptr);

    bool isConverting() const { return m_converting; }
    void setConverting(bool converting);
    bool panelVisible() const { return m_panelVisible; }
    void setPanelVisible(bool visible);

    /// A batch handed in by a drop or from the command line; the popover takes it.
    void dropFiles(const QStringList& files);

    /// Posts a notification at once.
    void notify(const QString& title, const QString& body);
    /// Posts the notification where notifications are allowed; otherwise, when `revealAllowed`,
    /// selects the files in the file viewer.
    void notifyOrReveal(const QString& title, const QString& body, const QStringList& fallbackFiles,
                        bool revealAllowed);

Q_SIGNALS:
    void isConvertingChanged();
    void panelVisibleChanged();
    void filesDropped(const QStringList& files);

private:
    DesktopServices& m_services;
    bool m_converting = false;
    bool m_panelVisible = false;
};

}  // namespace pivana
