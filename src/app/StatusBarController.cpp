#include "app/StatusBarController.h"

#include "app/FilePicker.h"
#include "app/SettingsDialogs.h"
#include "platform/PanelPlacement.h"
#include "platform/TrayIcon.h"
#include "platform/WindowSystem.h"
#include "settings/Settings.h"
#include "ui/IconImageProvider.h"
#include "ui/PanelIcons.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QQmlEngine>
#include <QQuickItem>

#include <algorithm>

namespace pivana {

namespace {

constexpr int panelWidth = 300;
constexpr int panelHeightBeforeLayout = 240;
constexpr int dropGraceMs = 500;

}  // namespace

StatusBarController::StatusBarController(AppState& appState, Settings& settings, TrayIcon& tray,
                                         QObject* parent)
    : QObject(parent), m_appState(appState), m_tray(tray) {
    // Before the popover exists, so that the panel is open by the time the popover takes a batch.
    observeDrops();
    setupPopover(settings);
    setupSettingsView(settings);
    setupPanel();
    setupTrayIcon();
    observeConversionState();
}

StatusBarController::~StatusBarController() = default;

void StatusBarController::observeDrops() {
    // The mouse-up that ends a drag elsewhere must not close the panel the drop has just opened.
    connect(&m_appState, &AppState::filesDropped, this, [this] {
        suppressDismissFor(dropGraceMs);
        showPanel();
    });
}

void StatusBarController::setupPopover(Settings& settings) {
    PanelHooks hooks;
    hooks.close = [this] { hidePanel(); };
    hooks.setDismissSuppressed = [this](bool suppressed) {
        m_dismissSuppressedForDialog = suppressed;
    };
    hooks.browseForFiles = [this] { return browseForFiles(m_browseFolder); };
    hooks.quit = [] { QCoreApplication::quit(); };
    m_popover = std::make_unique<PopoverViewModel>(m_appState, settings, m_runner, m_scheduler,
                                                   std::move(hooks));
}

void StatusBarController::setupSettingsView(Settings& settings) {
    SettingsHooks hooks;
    hooks.program = QCoreApplication::applicationFilePath();
    hooks.chooseFolder = [this] { return whileDialogOpen(chooseOutputFolder); };
    hooks.confirmReplace = [this] { return whileDialogOpen(confirmReplaceOriginal); };
    m_settingsView =
        std::make_unique<SettingsViewModel>(settings, m_autostart, m_scheduler, std::move(hooks));
}

void StatusBarController::setupPanel() {
    m_panel = std::make_unique<QQuickView>();
    m_panel->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    m_panel->setColor(Qt::transparent);
    m_panel->setResizeMode(QQuickView::SizeViewToRootObject);
    m_panel->setTitle(QStringLiteral("Pivana"));
    m_panel->engine()->addImageProvider(QStringLiteral("icon"), new IconImageProvider);
    m_panel->setInitialProperties({{"model", QVariant::fromValue(m_popover.get())},
                                   {"settingsModel", QVariant::fromValue(m_settingsView.get())},
                                   {"translucent", WindowSystem::composites()}});
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
    // opened it or a dialog is up.
    connect(m_panel.get(), &QWindow::activeChanged, this, [this] {
        if (!m_panel->isActive() && m_panel->isVisible() && !dismissSuppressed()) {
            hidePanel();
        }
    });
}

void StatusBarController::setupTrayIcon() {
    m_tray.setToolTip(QStringLiteral("Pivana"));
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(QStringLiteral("Open Pivana"), this, &StatusBarController::showPanel);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Quit"), qApp, &QCoreApplication::quit);
    m_tray.setMenu(m_menu.get());
    connect(&m_tray, &TrayIcon::activated, this, &StatusBarController::togglePanel);
}

void StatusBarController::observeConversionState() {
    connect(&m_appState, &AppState::isConvertingChanged, this, &StatusBarController::updateIcon);
    updateIcon();
    m_tray.show();
}

void StatusBarController::updateIcon() {
    m_tray.setIcon(PanelIcons::trayIcon(m_appState.isConverting()));
}

void StatusBarController::togglePanel() {
    if (m_panel->isVisible()) {
        hidePanel();
    } else {
        showPanel();
    }
}

void StatusBarController::placePanel() {
    QQuickItem* root = m_panel->rootObject();
    const QRect anchor = m_tray.anchor();
    if (root) {
        // On a short screen the popover scrolls rather than run off it.
        root->setProperty("maxHeight", PanelPlacement::tallestOnScreen(anchor));
    }
    const int height =
        std::max(1, static_cast<int>(root ? root->height() : panelHeightBeforeLayout));
    m_panel->setGeometry(PanelPlacement::placeOnScreen(anchor, {panelWidth, height}));
}

void StatusBarController::showPanel() {
    placePanel();
    m_panel->show();
    WindowSystem::activate(*m_panel);
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
