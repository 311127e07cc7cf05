#include "app/StatusBarController.h"

#include "app/CommandLine.h"
#include "app/FilePicker.h"
#include "app/SettingsDialogs.h"
#include "platform/PanelPlacement.h"
#include "platform/TrayIcon.h"
#include "platform/WindowSystem.h"
#include "settings/Settings.h"
#include "ui/IconImageProvider.h"
#include "ui/PanelIcons.h"

#include <malloc.h>

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QPixmapCache>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace pivana {

namespace {

constexpr int panelWidth = 300;
constexpr int panelHeightBeforeLayout = 240;
constexpr int dropGraceMs = 500;

const QString trayToolTip = QStringLiteral("Pivana");

const QString busyMessage = QStringLiteral(
    "A conversion is running, so the files were not taken. Try again once it is done.");

std::int64_t steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

StatusBarController::StatusBarController(AppState& appState, Settings& settings, TrayIcon& tray,
                                         int releaseDelayMs, QObject* parent)
    : QObject(parent),
      m_appState(appState),
      m_tray(tray),
      m_lifetime(m_scheduler, releaseDelayMs, [this] { releasePanel(); }),
      m_dismissal(steadyMilliseconds) {
    // Before the popover exists, so that the panel is open by the time the popover takes a batch.
    observeDrops();
    setupPopover(settings);
    setupSettingsView(settings);
    observeDismissal();
    setupTrayIcon();
    observeConversionState();
}

StatusBarController::~StatusBarController() = default;

void StatusBarController::observeDrops() {
    // The mouse-up that ends a drag elsewhere must not close the panel the drop has just opened.
    connect(&m_appState, &AppState::filesDropped, this, [this] {
        m_dismissal.suppressFor(dropGraceMs);
        showPanel();
    });
}

void StatusBarController::setupPopover(Settings& settings) {
    PanelHooks hooks;
    hooks.close = [this] { hidePanel(); };
    hooks.setDismissSuppressed = [this](bool suppressed) { setDialogOpen(suppressed); };
    hooks.browseForFiles = [this] { return browseForFiles(m_browseFolder, m_panel.get()); };
    hooks.quit = [] { QCoreApplication::quit(); };
    m_popover = std::make_unique<PopoverViewModel>(m_appState, settings, m_runner, m_scheduler,
                                                   std::move(hooks));
}

void StatusBarController::setupSettingsView(Settings& settings) {
    SettingsHooks hooks;
    hooks.program = QCoreApplication::applicationFilePath();
    hooks.chooseFolder = [this] {
        return whileDialogOpen([this] { return chooseOutputFolder(m_panel.get()); });
    };
    hooks.confirmReplace = [this] {
        return whileDialogOpen([this] { return confirmReplaceOriginal(m_panel.get()); });
    };
    m_settingsView =
        std::make_unique<SettingsViewModel>(settings, m_autostart, m_scheduler, std::move(hooks));
}

void StatusBarController::setDialogOpen(bool open) {
    m_dismissal.setDialogOpen(open);
    m_lifetime.setDialogOpen(open);
    if (open) {
        m_focusBeforeDialog = m_panel ? m_panel->activeFocusItem() : nullptr;
        return;
    }
    if (panelVisible()) {
        // Back to the panel, with what it showed: the clicks that closed the dialog were the
        // dialog's, and the panel takes the keyboard again, on the control that had it.
        m_pointer.setListening(false);
        WindowSystem::activate(*m_panel);
        restoreFocus();
    }
}

void StatusBarController::restoreFocus() {
    QQuickItem* item = m_focusBeforeDialog;
    if (!item || !m_panel || item->window() != m_panel.get()) {
        return;
    }
    // The way it got the focus decides whether its ring shows: keep it.
    const QVariant reason = item->property("focusReason");
    item->forceActiveFocus(reason.isValid() ? static_cast<Qt::FocusReason>(reason.toInt())
                                            : Qt::OtherFocusReason);
}

void StatusBarController::ensurePanel() {
    if (m_panel) {
        return;
    }
    m_panel = std::make_unique<QQuickView>();
    m_panel->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    m_panel->setColor(Qt::transparent);
    m_panel->setResizeMode(QQuickView::SizeViewToRootObject);
    m_panel->setTitle(QStringLiteral("Pivana"));
    m_panel->engine()->addImageProvider(QStringLiteral("icon"), new IconImageProvider);
    // The view-models outlive every panel built on them: no engine may collect them.
    QQmlEngine::setObjectOwnership(m_popover.get(), QQmlEngine::CppOwnership);
    QQmlEngine::setObjectOwnership(m_settingsView.get(), QQmlEngine::CppOwnership);
    m_panel->setInitialProperties({{"model", QVariant::fromValue(m_popover.get())},
                                   {"settingsModel", QVariant::fromValue(m_settingsView.get())},
                                   {"translucent", WindowSystem::composites()}});
    m_panel->setSource(QUrl(QStringLiteral("qrc:/Pivana/Popover.qml")));
    if (QQuickItem* root = m_panel->rootObject()) {
        // The panel follows the popover's height and stays under the icon.
        connect(root, &QQuickItem::heightChanged, this, [this] {
            if (panelVisible()) {
                placePanel();
            }
        });
    }
    // A press elsewhere takes the activation away; what follows decides whether it was a
    // click (the panel closes) or the start of a drag onto the panel (it stays).
    connect(m_panel.get(), &QWindow::activeChanged, this, [this] {
        if (!panelVisible()) {
            return;
        }
        if (m_panel->isActive()) {
            settleDismissal();
            // Activated again once a dialog has closed: the window may have dropped the
            // control the keyboard was on.
            if (!m_dismissal.dialogOpen() && m_focusBeforeDialog) {
                restoreFocus();
                m_focusBeforeDialog = nullptr;
            }
            return;
        }
        closeIf(m_dismissal.activationLost(WindowSystem::pointerButtonHeld()));
        m_pointer.setListening(panelVisible() && m_dismissal.watchingPointer());
    });
}

void StatusBarController::releasePanel() {
    if (!m_panel || m_panel->isVisible()) {
        return;
    }
    // Deleted from the event loop, where no call from its QML can be under way.
    QQuickView* panel = m_panel.release();
    connect(panel, &QObject::destroyed, this, [] {
        // Its engine goes after this signal; once it has, the heap it used and the symbols
        // drawn for it go back too.
        QTimer::singleShot(0, [] {
            QPixmapCache::clear();
            ::malloc_trim(0);
        });
    });
    panel->deleteLater();
}

void StatusBarController::observeDismissal() {
    connect(&m_pointer, &PointerMonitor::buttonReleased, this, [this] {
        if (!panelVisible()) {
            return;
        }
        const bool overPanel = m_panel->geometry().contains(QCursor::pos());
        closeIf(m_dismissal.buttonReleased(overPanel, m_popover->dragHovering()));
    });
    connect(m_popover.get(), &PopoverViewModel::changed, this, [this] {
        const bool hovering = m_popover->dragHovering();
        if (hovering != m_dragHovering) {
            m_dragHovering = hovering;
            if (!hovering) {
                closeIf(m_dismissal.dragEnded(WindowSystem::pointerButtonHeld()));
            }
        }
    });
    connect(&m_desktops, &DesktopWatcher::currentDesktopChanged, this, [this] { closeIf(true); });
}

void StatusBarController::settleDismissal() {
    m_dismissal.settled();
    m_pointer.setListening(false);
}

void StatusBarController::closeIf(bool close) {
    if (close && panelVisible()) {
        hidePanel();
    }
}

void StatusBarController::setupTrayIcon() {
    m_tray.setToolTip(trayToolTip);
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(QStringLiteral("Open Pivana"), this, &StatusBarController::showPanel);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Quit"), qApp, &QCoreApplication::quit);
    m_tray.setMenu(m_menu.get());
    connect(&m_tray, &TrayIcon::activated, this, &StatusBarController::togglePanel);
    // Files dropped on the icon arrive as a drop on the panel does; none while a batch runs.
    m_tray.setDropFilter([this] { return !m_appState.isConverting(); });
    connect(&m_tray, &TrayIcon::filesDropped, this,
            [this](const QStringList& files) { m_appState.dropFiles(files); });
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
    if (panelVisible()) {
        hidePanel();
    } else {
        showPanel();
    }
}

void StatusBarController::placePanel() {
    QQuickItem* root = m_panel->rootObject();
    const int height =
        std::max(1, static_cast<int>(root ? root->height() : panelHeightBeforeLayout));
    m_panel->setGeometry(PanelPlacement::placeOnScreen(m_tray.anchor(), {panelWidth, height}));
}

void StatusBarController::showPanel() {
    ensurePanel();
    m_lifetime.shown();
    // On a short screen the popover scrolls rather than run off it. The limit is set here, not
    // as the popover's height changes: it takes part in that height's binding.
    if (QQuickItem* root = m_panel->rootObject()) {
        root->setProperty("maxHeight", PanelPlacement::tallestOnScreen(m_tray.anchor()));
    }
    placePanel();
    // While the window manager takes the panel in, it may move the activation away from it
    // once (focus-stealing prevention, then the activation we ask for as a pager): no click
    // elsewhere, so not a reason to close.
    m_dismissal.suppressFor(dropGraceMs);
    WindowSystem::keepOutOfTaskbar(*m_panel);
    m_panel->show();
    WindowSystem::activate(*m_panel);
    m_appState.setPanelVisible(true);
    // The icon's tooltip would be drawn over the panel (after a drop on the icon the pointer
    // rests on it): none while the panel shows.
    m_tray.setToolTip({});
}

void StatusBarController::hidePanel() {
    if (m_panel) {
        m_panel->hide();
    }
    m_tray.setToolTip(trayToolTip);
    settleDismissal();
    m_appState.setPanelVisible(false);
    m_lifetime.hidden();
}

HandOffAnswer StatusBarController::takeHandOff(const HandOff& handOff) {
    if (handOff.files.isEmpty()) {
        showPanel();
        return {};
    }
    // Checked again here: a file can go between the asking and the taking.
    if (const auto refusal = handOffRefusal(handOff)) {
        return {false, *refusal};
    }
    if (!m_appState.dropFiles(handOff.files)) {
        // A batch is converting. Whoever handed the files over may have no terminal to show
        // the answer (a file manager's menu, "Open With").
        m_appState.notify(QStringLiteral("Pivana"), busyMessage);
        return {false, busyMessage};
    }
    if (handOff.format.isEmpty()) {
        return {};
    }
    if (const auto reason = m_popover->convertHandedOver(handOff.files, handOff.format)) {
        return {false, *reason};
    }
    return {};
}

}  // namespace pivana
