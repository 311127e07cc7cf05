#pragma once

#include "CategoryRoutes.h"

#include <QMimeDatabase>
#include <QString>

namespace pivana::menus {

/// The submenu every file-manager menu of Pivana is filed under.
inline const QString submenuTitle = QStringLiteral("Convert with Pivana");

/// The Dolphin service menu of one category: a "Convert with Pivana" submenu with one action
/// per target, each running `pivana --convert TARGET` on the selection. Dolphin shows it when
/// every selected local file has one of the category's MIME types. Empty when the MIME
/// database knows none of the category's extensions.
QString dolphinServiceMenu(const CategoryRoutes& routes, const QMimeDatabase& mimes);

}  // namespace pivana::menus
