#pragma once

#include <QStringList>

#include <cstdio>

namespace pivana {

/// The headless side of `pivana`: `--to FORMAT FILE...`, `--targets FILE...`, `--help`,
/// `--version`. Returns the process exit status.
int runCommandLine(const QStringList& arguments, std::FILE* out, std::FILE* err);

/// True when the arguments ask for the headless command line rather than the tray app.
bool isCommandLineRequest(const QStringList& arguments);

/// The files `pivana FILE...` hands to the tray app: the arguments after the program, without
/// a first "--" (after which a name may start with a dash).
QStringList trayAppFiles(const QStringList& arguments);

}  // namespace pivana
