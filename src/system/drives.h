#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace forms {

// A drive: a mounted volume that holds files a user can browse, named by its mount path.
struct DriveInfo {
    QString path;
    QString label;
    // False for a drive that did not answer in time when asked for its state: opening it
    // fails as for a drive that is not ready.
    bool ready = true;
};

// Where the drives come from: the mounted volumes, unless a test replaces them.
using DriveSource = std::function<QList<DriveInfo>()>;
void SetDriveSource(DriveSource source);
QList<DriveInfo> Drives();
// The drive that holds `path`: the one whose mount path is its longest prefix.
QString DriveOf(const QString& path);
// The same, among the drives given.
QString DriveOf(const QString& path, const QList<DriveInfo>& drives);

}  // namespace forms
