#include "app/StatusBarController.h"

#include "app/FilePicker.h"
#include "settings/Settings.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>

#include <cstdlib>

namespace pivana {

namespace {

constexpr int panelWidth = 300;
constexpr int topGap = 6;
constexpr int dropGraceMs = 500;

// Whether a compositing manager runs, so the panel's rounded corners can be see-through.
bool desktopComposites() {
    if (QGuiApplication::platformName() != u"xcb") {
        return true;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        return false;
    }
    // The compositor owns the selection _NET_WM_CM_S<screen>.
    const QByteArray name = "_NET_WM_CM_S0";
    xcb_connection_t* connection = x11->connection();
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, name.size(), name.constData());
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!atom) {
        return false;
    }
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    free(owner);
    free(atom);
    return owned;
}

// Asks the window manager to activate the panel as a pager would. Opened by "Open With" or a
// terminal, the app has no recent input of its own, and focus-stealing prevention would leave
// the panel unfocused, so it would never learn of a click elsewhere.
void activateOnX11(QWindow& window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    const QByteArray name = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, name.size(), name.constData()), nullptr);
    if (!atom) {
        return;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window.winId());
    event.type = atom->atom;
    event.data.data32[0] = 2;  // source: a pager
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
    free(atom);
}

}  // namespace

StatusBarController::StatusBarController(AppState& appState, Settings& settings, QObject* parent)
    : QObject(parent), m_appState(appState) {
    // Before the popover exists, so that the panel is open by the time the popover takes a batch.
    // The mouse-up that ends a drag elsewhere must not close the panel the drop has just opened.
    connect(&appState, &AppState::filesDropped, this, [this] {
        suppressDismissFor(dropGraceMs);
        showPanel();
    });

    PanelHooks hooks;
    hooks.close = [this] { hidePanel(); };
    hooks.setDismissSuppressed = [this](bool suppressed) {
        m_dismissSuppressedForDialog = suppressed;
    };
    hooks.browseForFiles = [] { return browseForFiles(); };
    hooks.quit = [] { QCoreApplication::quit(); };
    m_popover = std::make_unique<PopoverViewModel>(appState, settings, m_runner, m_scheduler,
                                                   std::move(hooks));

    SettingsHooks settingsHooks;
    settingsHooks.program = QCoreApplication::applicationFilePath();
    settingsHooks.chooseFolder = [this] {
        return whileDialogOpen([] {
            return QFileDialog::getExistingDirectory(
                nullptr, QStringLiteral("Choose an output folder"), QString(),
                QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        });
    };
    settingsHooks.confirmReplace = [this] {
        return whileDialogOpen([] {
            QMessageBox alert(QMessageBox::Warning, QStringLiteral("Pivana"),
                              QStringLiteral("Replace original files?"));
            alert.setInformativeText(
                QStringLiteral("Pivana will permanently delete the source file after each "
                               "successful conversion. You can disable "
                               "this anytime in Settings."));
            QPushButton* enable =
                alert.addButton(QStringLiteral("Enable"), QMessageBox::AcceptRole);
            alert.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
            alert.setDefaultButton(enable);
            alert.exec();
            return alert.clickedButton() == enable;
        });
    };
    m_settingsView = std::make_unique<SettingsViewModel>(settings, m_autostart, m_scheduler,
                                                         std::move(settingsHooks));

    m_compositing = desktopComposites();
    m_panel = std::make_unique<QQuickView>();
    m_panel->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    m_panel->setColor(Qt::transparent);
    m_panel->setResizeMode(QQuickView::SizeViewToRootObject);
    m_panel->setTitle(QStringLiteral("Pivana"));
    m_panel->setInitialProperties({{"model", QVariant::fromValue(m_popover.get())},
                                   {"settingsModel", QVariant::fromValue(m_settingsView.get())},
                                   {"translucent", m_compositing}});
    m_panel->setSource(QUrl(QStringLiteral("qrc:/Pivana/Popover.qml")));
    if (QQuickItem* root = m_panel->rootObject()) {
        // The panel follows the popover's height and stays under the icon.
        connect(root, &QQuickItem::heightChanged, this, [this] {
            if (m_panel->isVisible()) {
                placePanel();
            }
        });
    }
    // Clicking elsewhere takes the activation away: the panel closes, unless a drop has just
    // opened it or the browse dialog is up.
    connect(m_panel.get(), &QWindow::activeChanged, this, [this] {
        if (!m_panel->isActive() && m_panel->isVisible() && !dismissSuppressed()) {
            hidePanel();
        }
    });

    m_tray.setToolTip(QStringLiteral("Pivana"));
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(QStringLiteral("Open Pivana"), this, &StatusBarController::showPanel);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Quit"), qApp, &QCoreApplication::quit);
    m_tray.setContextMenu(m_menu.get());
    connect(&m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    togglePanel();
                }
            });
    connect(&appState, &AppState::isConvertingChanged, this, &StatusBarController::updateIcon);
    updateIcon();
    m_tray.show();
}

StatusBarController::~StatusBarController() = default;

void StatusBarController::updateIcon() {
    m_tray.setIcon(QIcon(m_appState.isConverting()
                             ? QStringLiteral(":/Pivana/icons/tray-converting.svg")
                             : QStringLiteral(":/Pivana/icons/tray.svg")));
}

void StatusBarController::togglePanel() {
    if (m_panel->isVisible()) {
        hidePanel();
    } else {
        showPanel();
    }
}

void StatusBarController::placePanel() {
    const int height = std::max(
        1, static_cast<int>(m_panel->rootObject() ? m_panel->rootObject()->height() : 240));
    const QRect icon = m_tray.geometry();
    const QPoint anchor = icon.isValid() ? icon.center() : QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(anchor);
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect area = screen->availableGeometry();
    const QRect iconRect = icon.isValid() ? icon : QRect(anchor, QSize(1, 1));
    // Below a panel at the top of the screen, above one at the bottom.
    const bool below = iconRect.center().y() < screen->geometry().center().y();
    int y = below ? iconRect.bottom() + 1 + topGap : iconRect.top() - height - topGap;
    int x = iconRect.center().x() - panelWidth / 2;
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - panelWidth));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - height));
    m_panel->setGeometry(x, y, panelWidth, height);
}

void StatusBarController::showPanel() {
    placePanel();
    m_panel->show();
    m_panel->raise();
    m_panel->requestActivate();
    if (QGuiApplication::platformName() == u"xcb") {
        activateOnX11(*m_panel);
    }
    m_appState.setPanelVisible(true);
}

void StatusBarController::hidePanel() {
    m_panel->hide();
    m_appState.setPanelVisible(false);
}

void StatusBarController::suppressDismissFor(int milliseconds) {
    m_dismissSuppressedUntil = QDateTime::currentDateTimeUtc().addMSecs(milliseconds);
}

bool StatusBarController::dismissSuppressed() const {
    return m_dismissSuppressedForDialog ||
           (m_dismissSuppressedUntil.isValid() &&
            QDateTime::currentDateTimeUtc() < m_dismissSuppressedUntil);
}

}  // namespace pivana
