#include "system/filenames.h"

#include <QStringDecoder>
#include <QStringList>
#include <algorithm>

namespace forms {

namespace {

constexpr char16_t kEscape = 0xDC00;

bool isEscape(QChar c) { return c.unicode() >= kEscape + 0x80 && c.unicode() <= kEscape + 0xFF; }

// The length of the well-formed UTF-8 sequence at `p` (overlong forms, surrogates and codes
// past U+10FFFF are not), or 0.
int utf8Length(const unsigned char* p, const unsigned char* end) {
    const unsigned char b = p[0];
    int n;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (end - p < n || p[1] < low || p[1] > high) return 0;
    for (int i = 2; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    return n;
}

}  // namespace

QString PathText(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    if (std::all_of(p, end, [](unsigned char b) { return b < 0x80; }))
        return QString::fromLatin1(bytes.data(), bytes.size());
    QString text;
    text.reserve(bytes.size());
    const unsigned char* run = p;  // the start of the UTF-8 not yet appended
    while (p < end) {
        const int n = utf8Length(p, end);
        if (n > 0) {
            p += n;
            continue;
        }
        text += QString::fromUtf8(reinterpret_cast<const char*>(run), p - run);
        text += QChar(char16_t(kEscape + *p++));
        run = p;
    }
    text += QString::fromUtf8(reinterpret_cast<const char*>(run), p - run);
    return text;
}

QByteArray NativePath(const QString& path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype run = 0;  // the start of the text not yet encoded
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path[i];
        if (c.isHighSurrogate() && i + 1 < path.size() && path[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (!isEscape(c)) continue;
        bytes += QStringView(path).mid(run, i - run).toUtf8();
        bytes += char(c.unicode() - kEscape);
        run = i + 1;
    }
    bytes += QStringView(path).mid(run).toUtf8();
    return bytes;
}

QString DisplayName(QByteArrayView name) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(name);
    if (!utf8.hasError()) return text;
    QStringDecoder sjis("Shift_JIS", QStringDecoder::Flag::Stateless);
    if (sjis.isValid()) {
        QString decoded = sjis.decode(name);
        if (!sjis.hasError()) return decoded;
    }
    return text;
}

QString DisplayPath(const QString& path) {
    if (std::none_of(path.begin(), path.end(), isEscape)) return path;
    QStringList parts = path.split(QLatin1Char('/'));
    for (QString& part : parts)
        if (std::any_of(part.begin(), part.end(), isEscape)) part = DisplayName(NativePath(part));
    return parts.join(QLatin1Char('/'));
}

}  // namespace forms
