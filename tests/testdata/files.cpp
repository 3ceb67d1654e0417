#include "testdata/files.h"

#include <QFile>
#include <QImage>

#include "testdata/gif.h"

namespace testdata {

QString MakePicture(const QString& dir, const QString& name, QSize size, QColor colour,
                    const char* format) {
    const bool gif = format ? qstricmp(format, "gif") == 0
                            : name.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive);
    if (gif) {
        const QString path = dir + QLatin1Char('/') + name;
        WriteFile(path, SolidGif(size, {0}, {colour.rgb(), qRgb(0, 0, 0)}));
        return path;
    }
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir + QLatin1Char('/') + name;
    if (!image.save(path, format, 100)) qFatal("cannot write %s", qPrintable(path));
    return path;
}

void WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

}  // namespace testdata
