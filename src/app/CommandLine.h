#pragma once

#include "app/HandOff.h"

#include <QStringList>

#include <cstdio>
#include <optional>

namespace pivana {

/// The headless side of `pivana`: `--to FORMAT FILE...`, `--targets FILE...`, `--help`,
/// `--version`. Returns the process exit status.
int runCommandLine(const QStringList& arguments, std::FILE* out, std::FILE* err);

/// True when the arguments ask for the headless command line rather than the tray app.
bool isCommandLineRequest(const QStringList& arguments);

/// What `pivana [FILE...]` or `pivana --convert FORMAT FILE...` hands to the tray app. None,
/// with the usage printed on `err`, when `--convert` lacks its format or its files.
std::optional<HandOff> handOffRequest(const QStringList& arguments, std::FILE* err);

/// Why the tray app must not take this hand-off: one of its paths is missing, or a folder.
/// Such a batch is refused before the panel would show it, with one line naming the path.
std::optional<QString> handOffRefusal(const HandOff& handOff);

}  // namespace pivana
