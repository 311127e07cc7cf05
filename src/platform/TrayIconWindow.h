#pragma once

#include <QIcon>
#include <QRasterWindow>
#include <QStringList>
#include <QTimer>

#include <functional>

class QDropEvent;

namespace pivana {

/// The window that is the tray icon on an XEmbed tray: it draws the icon over the tray's own
/// background, reports clicks, and is a drop target for files. The tray host embeds it; Qt's
/// XDND support answers drags over it with what this window decides.
class TrayIconWindow final : public QRasterWindow {
    Q_OBJECT

public:
    /// `accepting` is asked at every step of a drag of files: whether a drop would be taken now.
    explicit TrayIconWindow(std::function<bool()> accepting);

    void setIcon(const QIcon& icon);
    void setToolTip(const QString& text);

Q_SIGNALS:
    void pressed(Qt::MouseButton button, QPoint globalPosition);
    /// Files dropped and taken, in the drag's order; reported once the drop is answered.
    void dropped(const QStringList& files);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QStringList takenFiles(const QDropEvent& event) const;

    std::function<bool()> m_accepting;
    QIcon m_icon;
    QString m_toolTip;
    QTimer m_toolTipDelay;
};

}  // namespace pivana
