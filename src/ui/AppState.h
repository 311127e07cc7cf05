#pragma once

#include "ui/DesktopServices.h"

#include <QObject>
#include <QStringList>

namespace pivana {

/// State shared by the tray icon, its panel and the popover inside it, and the one way in for a
/// batch of files: a drop on the panel and a hand-off from another `pivana FILE...` both enter
/// at `dropFiles`, and everyone interested observes `filesDropped`.
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

    /// Hands in a batch. Refused (false, nothing announced) when it is empty or while a batch
    /// converts: one batch runs at a time.
    bool dropFiles(const QStringList& files);

    /// Posts a notification at once; it offers to show `outputs` in their folder.
    void notify(const QString& title, const QString& body, const QStringList& outputs = {});
    /// Posts the notification where notifications are allowed; otherwise, when `revealAllowed`,
    /// selects the files in the file viewer.
    void notifyOrReveal(const QString& title, const QString& body, const QStringList& fallbackFiles,
                        bool revealAllowed);

Q_SIGNALS:
    void isConvertingChanged();
    void panelVisibleChanged();
    /// A batch was handed in: the tray controller opens the panel, the popover takes the files.
    void filesDropped(const QStringList& files);

private:
    DesktopServices& m_services;
    bool m_converting = false;
    bool m_panelVisible = false;
};

}  // namespace pivana
