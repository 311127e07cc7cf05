#include "platform/TrayIcon.h"

#include "platform/StatusNotifierItem.h"
#include "platform/X11.h"
#include "platform/XEmbedTrayIcon.h"

namespace pivana {

std::unique_ptr<TrayIcon> createTrayIcon() {
    if (!StatusNotifierItem::hostRuns() && x11::connection()) {
        return std::make_unique<XEmbedTrayIcon>();
    }
    return std::make_unique<StatusNotifierItem>();
}

}  // namespace pivana
