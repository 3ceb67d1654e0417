#include "picture/caption.h"

#include "system/filenames.h"

namespace forms {

QString CaptionText(const QString& path, const QString& taken) {
    const QString shown = DisplayPath(path);
    QString text = shown.mid(shown.lastIndexOf(QLatin1Char('/')) + 1);
    if (!taken.isEmpty()) text += QStringLiteral("　") + taken;
    return text;
}

QSize CaptionPadding(const QFontMetrics& metrics) {
    const int line = metrics.height();
    return {line / 2, line / 4};
}

void PaintCaption(QPainter& painter, const QRectF& band, const QString& text) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 170));
    const qreal radius = CaptionPadding(painter.fontMetrics()).height();
    painter.drawRoundedRect(band, radius, radius);
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignCenter | Qt::TextWordWrap, text);
    painter.restore();
}

}  // namespace forms
