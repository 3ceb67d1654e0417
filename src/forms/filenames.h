#pragma once

#include <QByteArray>
#include <QString>

// File names as the user sees them and as the file system holds them. Names that are not
// UTF-8 (Shift_JIS, as old archives leave them) are shown decoded as Shift_JIS, and such a
// shown path still leads to the file.
namespace forms {

QString DisplayName(const char* name);
// The file system's bytes for a shown path: its UTF-8 encoding, or, where that names nothing,
// each component that does not exist in UTF-8 taken in Shift_JIS.
QByteArray NativePath(const QString& path);

}  // namespace forms
