#pragma once

#include <QByteArray>
#include <QList>

class QIODevice;

// Play-list files: plain text, one path per line, LF line ends, no header. Paths are the file
// system's own bytes (UTF-8, or whatever bytes a name that is not UTF-8 holds).
namespace playlistfile {

// The most entries a play list holds.
constexpr int kMaxEntries = 32767;

struct Parsed {
    bool text = true;         // false: the file holds NUL bytes; nothing is taken
    QList<QByteArray> paths;  // at most kMaxEntries, in file order
    qint64 leftOut = 0;       // paths past kMaxEntries
    qint64 tooLong = 0;       // lines longer than a path can be, skipped
};

// Reads a list to its end. Blank lines and lines that begin with '#' (comments and the
// directives of extended lists) are skipped; a CR before the LF is dropped.
Parsed Parse(QIODevice& in);

struct Formatted {
    QByteArray data;
    QList<int> leftOut;  // positions of the paths that a list line cannot hold
};

// Writes paths one per line. A path that would not read back as itself is left out: an empty
// or blank one, one that holds a line break, or one that begins with '#'.
Formatted Format(const QList<QByteArray>& paths);

}  // namespace playlistfile
