#pragma once

#include <QByteArray>
#include <QList>

class QIODevice;

// Play-list files: plain text, one path per line, LF line ends, no header. Paths are the file
// system's own bytes (UTF-8, or whatever bytes a name that is not UTF-8 holds). Lists written
// elsewhere are read too: a UTF-8 byte-order mark, CR LF and CR line ends, and local file URLs.
namespace playlistfile {

// The most entries a play list holds.
constexpr int kMaxEntries = 32767;

struct Parsed {
    bool text = true;         // false: the file holds NUL bytes; nothing is taken
    QList<QByteArray> paths;  // at most kMaxEntries, in file order
    qint64 leftOut = 0;       // paths past kMaxEntries
    qint64 tooLong = 0;       // lines longer than a path can be, skipped
    qint64 refused = 0;       // file URLs of another machine, or of no path a file can have
};

// Reads a list to its end. Blank lines and lines that begin with '#' (comments and the
// directives of extended lists) are skipped. A line ends at LF, CR or CR LF. A file URL of
// this machine (file:///path, file://localhost/path) stands for its path, percent-decoded.
Parsed Parse(QIODevice& in);

struct Formatted {
    QByteArray data;
    QList<int> leftOut;  // positions of the paths that a list line cannot hold
};

// Writes paths one per line. A path that would not read back as itself is left out: an empty
// or blank one, one that holds a line break or a NUL, one too long to be a path, one that
// begins with '#' or reads as a file URL, and a first one that begins with a byte-order mark.
Formatted Format(const QList<QByteArray>& paths);

}  // namespace playlistfile
