#pragma once

#include <QString>

#include <optional>

namespace pivana {

/// Puts a hard link to `path` in the freedesktop Trash of its volume, with the record that lets
/// a file manager restore it, and returns the trashed file's path; none when the volume has no
/// Trash that takes it (no hard links there, a Trash that is not safe to use, no room). `path`
/// itself stays where it is: the caller replaces it next, and the old file lives on in the Trash
/// without a moment in which its name is missing.
std::optional<QString> keepInTrash(const QString& path);

/// The Trash folder for files of the volume of `path` by the freedesktop rules: the home Trash
/// when `path` is on the same device as it, else the volume's own ($topdir/.Trash/$uid when
/// the administrator made a safe $topdir/.Trash, else $topdir/.Trash-$uid). Created if missing;
/// none when it cannot be.
std::optional<QString> trashFolderFor(const QString& path);

}  // namespace pivana
