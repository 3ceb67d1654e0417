#include "picture/datetaken.h"

#include <QByteArray>
#include <cctype>
#include <cstring>

#include "system/error.h"
#include "system/files.h"

namespace forms {

namespace pixels {

QString exifDateTaken(const uchar* data, size_t size) {
    if (size < 6 + 8 || std::memcmp(data, "Exif\0\0", 6) != 0) return {};
    const uchar* tiff = data + 6;
    const size_t n = size - 6;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return {};
    auto u16 = [&](size_t at) -> quint32 {
        return little ? quint32(tiff[at]) | quint32(tiff[at + 1]) << 8
                      : quint32(tiff[at]) << 8 | quint32(tiff[at + 1]);
    };
    auto u32 = [&](size_t at) -> quint32 {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    // The entry of `tag` in the directory at `ifd`; 0 when there is none.
    auto find = [&](size_t ifd, quint32 tag) -> size_t {
        if (ifd > n || n - ifd < 2) return 0;
        const quint32 count = u16(ifd);
        for (quint32 i = 0; i < count; ++i) {
            const size_t entry = ifd + 2 + 12 * size_t(i);
            if (entry + 12 > n) return 0;
            if (u16(entry) == tag) return entry;
        }
        return 0;
    };
    if (u16(2) != 42) return {};
    // The picture's directory points to the EXIF directory, which holds the date.
    const size_t exif = find(u32(4), 0x8769);
    if (!exif || u16(exif + 2) != 4) return {};
    const size_t date = find(u32(exif + 8), 0x9003);
    // ASCII, "YYYY:MM:DD HH:MM:SS" and its terminating zero, stored apart from the entry.
    if (!date || u16(date + 2) != 2 || u32(date + 4) < 19) return {};
    const size_t at = u32(date + 8);
    if (at > n || n - at < 19) return {};
    const QByteArray text(reinterpret_cast<const char*>(tiff + at), 19);
    static const char shape[] = "dddd:dd:dd dd:dd:dd";
    for (int i = 0; i < 19; ++i)
        if (shape[i] == 'd' ? !std::isdigit(uchar(text[i])) : text[i] != shape[i]) return {};
    const int year = text.mid(0, 4).toInt(), month = text.mid(5, 2).toInt(),
              day = text.mid(8, 2).toInt();
    // Cameras whose clock was never set write zeros.
    if (year == 0 || month < 1 || month > 12 || day < 1 || day > 31) return {};
    return QStringLiteral("%1年%2月%3日 %4")
        .arg(year)
        .arg(month)
        .arg(day)
        .arg(QString::fromLatin1(text.mid(11, 5)));
}

}  // namespace pixels

QString DateTaken(const QString& path) {
    // The EXIF block comes before the picture's data, in the first 64 KB or so: a marker
    // JFIF's, then its own of at most 64 KB.
    QByteArray head(0x20000, Qt::Uninitialized);
    qsizetype got = 0;
    try {
        const FileDescriptor file(OpenRegularFile(path));
        for (ssize_t r; got < head.size() && (r = ReadSome(file.get(), head.data() + got,
                                                           size_t(head.size() - got))) > 0;)
            got += r;
    } catch (const Error&) {
        return {};
    }
    const auto* d = reinterpret_cast<const uchar*>(head.constData());
    if (got < 4 || d[0] != 0xFF || d[1] != 0xD8) return {};
    for (qsizetype at = 2; at + 4 <= got && d[at] == 0xFF;) {
        const uchar marker = d[at + 1];
        if (marker == 0xDA || marker == 0xD9) break;  // the picture's data, or its end
        const qsizetype length = d[at + 2] << 8 | d[at + 3];
        if (length < 2 || at + 2 + length > got) break;
        if (marker == 0xE1) {
            const QString date = pixels::exifDateTaken(d + at + 4, size_t(length - 2));
            if (!date.isEmpty()) return date;
        }
        at += 2 + length;
    }
    return {};
}

}  // namespace forms
