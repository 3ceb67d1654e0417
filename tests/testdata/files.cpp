#include "testdata/files.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

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

QByteArray Converted(const QImage& image, const QString& to, const QString& options) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.png"));
    const QString out = dir.filePath(to.section(QLatin1Char(':'), -1));
    const QString prefix =
        to.contains(QLatin1Char(':')) ? to.section(QLatin1Char(':'), 0, 0) + ':' : QString();
    if (!image.save(source, "PNG")) qFatal("cannot write %s", qPrintable(source));
    const QStringList args =
        QStringList{source} + options.split(' ', Qt::SkipEmptyParts) + QStringList{prefix + out};
    if (QProcess::execute(QStringLiteral("convert"), args) != 0)
        qFatal("convert failed: %s", qPrintable(args.join(' ')));
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly)) qFatal("convert wrote no %s", qPrintable(out));
    return file.readAll();
}

}  // namespace testdata
