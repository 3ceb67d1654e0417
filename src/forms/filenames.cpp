#include "filenames.h"

#include <sys/stat.h>

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cstring>

namespace forms {

namespace {

bool exists(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

}  // namespace

QString DisplayName(const char* name) {
    const qsizetype size = qsizetype(std::strlen(name));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(name, size));
    if (!utf8.hasError()) return text;
    QStringDecoder sjis("Shift_JIS", QStringDecoder::Flag::Stateless);
    if (sjis.isValid()) {
        QString decoded = sjis.decode(QByteArrayView(name, size));
        if (!sjis.hasError()) return decoded;
    }
    return text;
}

QByteArray NativePath(const QString& path) {
    const QByteArray utf8 = path.toUtf8();
    if (std::all_of(path.begin(), path.end(), [](QChar c) { return c.unicode() < 0x80; }) ||
        exists(utf8))
        return utf8;
    QStringEncoder sjis("Shift_JIS", QStringEncoder::Flag::Stateless);
    if (!sjis.isValid()) return utf8;
    QByteArray resolved;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0) resolved += '/';
        const QByteArray asUtf8 = parts[i].toUtf8();
        if (parts[i].isEmpty() || exists(resolved + asUtf8)) {
            resolved += asUtf8;
            continue;
        }
        const QByteArray asSjis = sjis.encode(parts[i]);
        resolved += !sjis.hasError() && exists(resolved + asSjis) ? asSjis : asUtf8;
    }
    return resolved;
}

}  // namespace forms
