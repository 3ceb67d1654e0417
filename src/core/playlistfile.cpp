#include "core/playlistfile.h"

#include <QIODevice>
#include <climits>

namespace playlistfile {

namespace {

bool blank(const QByteArray& line) { return line.trimmed().isEmpty(); }

}  // namespace

Parsed Parse(QIODevice& in) {
    Parsed out;
    QByteArray line;
    bool overlong = false;
    auto endLine = [&] {
        if (line.endsWith('\r')) line.chop(1);
        // PATH_MAX counts the terminating NUL: a path holds one byte less.
        if (overlong || line.size() >= PATH_MAX) {
            ++out.tooLong;
        } else if (!blank(line) && !line.startsWith('#')) {
            if (out.paths.size() < kMaxEntries)
                out.paths << line;
            else
                ++out.leftOut;
        }
        line.clear();
        overlong = false;
    };
    // Read in blocks: a line is never held beyond the path limit, however long the file's
    // lines are.
    QByteArray block;
    for (;;) {
        block = in.read(64 * 1024);
        if (block.isEmpty()) break;
        if (block.contains('\0')) return Parsed{false, {}, 0, 0};
        qsizetype from = 0;
        while (from < block.size()) {
            const qsizetype lf = block.indexOf('\n', from);
            const qsizetype to = lf < 0 ? block.size() : lf;
            if (!overlong) {
                line.append(block.constData() + from, to - from);
                // Held up to one byte past the limit: room for a CR before the LF.
                if (line.size() > PATH_MAX) overlong = true;
            }
            if (overlong) line.clear();
            if (lf < 0) break;
            endLine();
            from = lf + 1;
        }
    }
    if (!line.isEmpty() || overlong) endLine();
    return out;
}

Formatted Format(const QList<QByteArray>& paths) {
    Formatted out;
    for (int i = 0; i < paths.size(); ++i) {
        const QByteArray& path = paths[i];
        if (blank(path) || path.contains('\n') || path.contains('\r') || path.startsWith('#')) {
            out.leftOut << i;
            continue;
        }
        out.data += path;
        out.data += '\n';
    }
    return out;
}

}  // namespace playlistfile
