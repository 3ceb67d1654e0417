#include "core/playlistfile.h"

#include <QIODevice>
#include <climits>

namespace playlistfile {

namespace {

const QByteArray kByteOrderMark("\xEF\xBB\xBF");

bool blank(const QByteArray& line) { return line.trimmed().isEmpty(); }

// What a line of a list stands for.
enum class Line { Skipped, Path, TooLong, Refused };

// Reads one line (without its line end); a file URL is turned into its path in place.
Line entryOf(QByteArray& line) {
    // PATH_MAX counts the terminating NUL: a path holds one byte less.
    if (line.size() >= PATH_MAX) return Line::TooLong;
    if (blank(line) || line.startsWith('#')) return Line::Skipped;
    if (!line.left(5).toLower().startsWith("file:")) return Line::Path;
    const QByteArray rest = line.mid(5);
    if (!rest.startsWith("//")) return Line::Path;  // a relative name that begins so
    const qsizetype slash = rest.indexOf('/', 2);
    const QByteArray host = rest.mid(2, slash < 0 ? -1 : slash - 2).toLower();
    if (slash < 0 || !(host.isEmpty() || host == "localhost")) return Line::Refused;
    line = QByteArray::fromPercentEncoding(rest.mid(slash));
    if (line.contains('\0')) return Line::Refused;
    return line.size() >= PATH_MAX ? Line::TooLong : Line::Path;
}

}  // namespace

Parsed Parse(QIODevice& in) {
    Parsed out;
    QByteArray line;
    bool overlong = false;
    auto endLine = [&] {
        switch (overlong ? Line::TooLong : entryOf(line)) {
            case Line::TooLong:
                ++out.tooLong;
                break;
            case Line::Refused:
                ++out.refused;
                break;
            case Line::Path:
                if (out.paths.size() < kMaxEntries)
                    out.paths << line;
                else
                    ++out.leftOut;
                break;
            case Line::Skipped:
                break;
        }
        line.clear();
        overlong = false;
    };
    // Read in blocks: a line is never held beyond the path limit, however long the file's
    // lines are.
    QByteArray block;
    bool first = true;
    for (;;) {
        block = in.read(64 * 1024);
        if (block.isEmpty()) break;
        if (block.contains('\0')) return Parsed{false, {}, 0, 0, 0};
        const char* bytes = block.constData();
        qsizetype from = 0;
        if (first && block.startsWith(kByteOrderMark)) from = kByteOrderMark.size();
        first = false;
        while (from < block.size()) {
            qsizetype end = from;
            while (end < block.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
            if (!overlong) {
                line.append(bytes + from, end - from);
                if (line.size() >= PATH_MAX) overlong = true;
            }
            if (overlong) line.clear();
            if (end == block.size()) break;
            // A CR LF is one line end and a blank line: blank lines are skipped.
            endLine();
            from = end + 1;
        }
    }
    if (!line.isEmpty() || overlong) endLine();
    return out;
}

Formatted Format(const QList<QByteArray>& paths) {
    Formatted out;
    for (int i = 0; i < paths.size(); ++i) {
        const QByteArray& path = paths[i];
        QByteArray read = path;
        if (path.contains('\n') || path.contains('\r') || path.contains('\0') ||
            entryOf(read) != Line::Path || read != path ||
            (out.data.isEmpty() && path.startsWith(kByteOrderMark))) {
            out.leftOut << i;
            continue;
        }
        out.data += path;
        out.data += '\n';
    }
    return out;
}

}  // namespace playlistfile
