#pragma once

#include <QString>
#include <QStringList>
#include <atomic>

namespace forms {

// The pictures found under a folder.
struct FolderPictures {
    QStringList pictures;  // path texts, in the order found
    int skipped = 0;       // files that are not pictures, and folders that cannot be read
};

// Collects the pictures in `dir` and the folders below it, recognised by their content: each
// folder's pictures in natural name order (img2 before img10), then each of its folders in the
// same order, gone down into in turn. A folder reached twice (through a link) is read once.
// Meant for a thread of its own: it stops early, with what it has, once `cancel` is set, and
// counts each entry looked at in `seen`.
FolderPictures CollectPictures(const QString& dir, const std::atomic<bool>& cancel,
                               std::atomic<unsigned>& seen);

}  // namespace forms
