#include "pixels.h"

#include <sys/mman.h>

#include <algorithm>

namespace forms::pixels {

bool tooLarge(QSize size) { return qint64(size.width()) * size.height() > kMaxPixels; }

QRect visiblePart(QSize own, QSize view) {
    auto span = [](int size, int window) -> std::pair<int, int> {
        if (size <= window) return {0, size};
        const int from = std::max(0, (size - window) / 2 - kViewMargin);
        const int to = std::min(size, (size + window + 1) / 2 + kViewMargin);
        return {from, to};
    };
    const auto [x0, x1] = span(own.width(), view.width());
    const auto [y0, y1] = span(own.height(), view.height());
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

QSize fittedSize(QSize own, QSize screen) {
    if (!screen.isValid() || screen.isEmpty()) return own;
    if (own.width() <= screen.width() && own.height() <= screen.height()) return own;
    return own.scaled(screen, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

namespace {

int ceilDiv(int a, int b) { return (a + b - 1) / b; }

// The largest factor whose reduction of `own` still covers `box` (or, coarse, the smallest
// whose reduction fits in it).
int factorFor(QSize own, QSize box, bool coarse) {
    if (coarse) {
        const int k =
            std::max(ceilDiv(own.width(), box.width()), ceilDiv(own.height(), box.height()));
        return std::clamp(k, 1, kMaxFactor);
    }
    int k = std::min(own.width() / box.width(), own.height() / box.height());
    k = std::clamp(k, 1, kMaxFactor);
    while (k > 1 &&
           (ceilDiv(own.width(), k) < box.width() || ceilDiv(own.height(), k) < box.height()))
        --k;
    return k;
}

}  // namespace

Plan planFor(QSize own, const Request& request, bool coarse) {
    Plan plan;
    plan.part = QRect(QPoint(0, 0), own);
    const QSize fitted = fittedSize(own, request.screen);
    if (fitted != own) {
        plan.fitted = fitted;
        plan.factor = factorFor(own, fitted, coarse);
    } else if (request.screen.isValid() || request.view.isValid()) {
        const QSize view = request.screen.isValid() ? request.screen : request.view;
        if (!view.isEmpty()) plan.part = visiblePart(own, view);
    } else if (request.fit.isValid() && !request.fit.isEmpty()) {
        plan.factor = factorFor(own, request.fit, false);
    }
    return plan;
}

QImage smoothReduce(const QImage& image, QSize size) {
    if (image.size() == size) return image;
    QImage out = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (out.format() != image.format()) out = out.convertToFormat(image.format());
    return out;
}

QImage newImage(QSize size, QImage::Format format) {
    const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
    const size_t bytes = size_t(bytesPerLine) * size_t(std::max(0, size.height()));
    if (bytes == 0) return {};
    void* address =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address == MAP_FAILED) return {};
    struct Block {
        void* address;
        size_t bytes;
    };
    return QImage(
        static_cast<uchar*>(address), size.width(), size.height(), bytesPerLine, format,
        [](void* info) {
            auto* b = static_cast<Block*>(info);
            ::munmap(b->address, b->bytes);
            delete b;
        },
        new Block{address, bytes});
}

Rows::Rows(QSize own, const Plan& plan, bool alpha, bool anyOrder)
    : own_(own), plan_(plan), anyOrder_(anyOrder) {
    const QImage::Format format =
        alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (plan.factor > 1) {
        const int k = plan.factor;
        const QSize reduced(ceilDiv(own.width(), k), ceilDiv(own.height(), k));
        image_ = newImage(reduced, format);
        top_ = 0;
        bottom_ = own.height();
        left_ = 0;
        right_ = own.width();
        line_.assign(size_t(own.width()), 0);
        const size_t bands = anyOrder ? size_t(reduced.height()) : 1;
        sums_.assign(bands * size_t(reduced.width()) * 4, 0);
        rowsIn_.assign(size_t(reduced.height()), 0);
    } else {
        image_ = newImage(plan.part.size(), format);
        top_ = plan.part.top();
        bottom_ = plan.part.top() + plan.part.height();
        left_ = plan.part.left();
        right_ = plan.part.left() + plan.part.width();
    }
    // Rows never decoded (a file cut short) stay black, or clear.
    if (!image_.isNull()) image_.fill(alpha ? 0u : 0xFF000000u);
}

QRgb* Rows::row(int y) {
    if (plan_.factor > 1) return line_.data();
    return reinterpret_cast<QRgb*>(image_.scanLine(y - top_));
}

void Rows::done(int y) {
    if (plan_.factor <= 1) return;
    const int k = plan_.factor;
    const int band = y / k;
    if (!anyOrder_ && band != open_) {
        if (open_ >= 0) flush(open_);
        open_ = band;
    }
    uint32_t* sums = sums_.data() + (anyOrder_ ? size_t(band) * size_t(image_.width()) * 4 : 0);
    const QRgb* in = line_.data();
    const int width = own_.width();
    for (int x0 = 0, bx = 0; x0 < width; x0 += k, ++bx) {
        uint32_t b = 0, g = 0, r = 0, a = 0;
        for (int x = x0, end = std::min(width, x0 + k); x < end; ++x) {
            const QRgb p = in[x];
            b += p & 0xFF;
            g += (p >> 8) & 0xFF;
            r += (p >> 16) & 0xFF;
            a += p >> 24;
        }
        uint32_t* s = sums + 4 * bx;
        s[0] += b;
        s[1] += g;
        s[2] += r;
        s[3] += a;
    }
    const int rowsInBand = std::min(k, own_.height() - band * k);
    if (++rowsIn_[size_t(band)] == rowsInBand) {
        flush(band);
        if (!anyOrder_) open_ = -1;
    }
}

void Rows::flush(int band) {
    const int rows = rowsIn_[size_t(band)];
    if (rows == 0) return;
    const int k = plan_.factor;
    uint32_t* sums = sums_.data() + (anyOrder_ ? size_t(band) * size_t(image_.width()) * 4 : 0);
    auto* out = reinterpret_cast<QRgb*>(image_.scanLine(band));
    for (int bx = 0; bx < image_.width(); ++bx) {
        const uint32_t n = uint32_t(std::min(k, own_.width() - bx * k) * rows);
        uint32_t* s = sums + 4 * bx;
        auto avg = [n](uint32_t v) { return (v + n / 2) / n; };
        out[bx] = avg(s[0]) | avg(s[1]) << 8 | avg(s[2]) << 16 | avg(s[3]) << 24;
        s[0] = s[1] = s[2] = s[3] = 0;
    }
    rowsIn_[size_t(band)] = 0;
}

Picture Rows::finish() {
    if (plan_.factor > 1) {
        // Bands cut short by the end of the data hold the rows they had.
        for (int band = 0; band < int(rowsIn_.size()); ++band)
            if (rowsIn_[size_t(band)] > 0) flush(band);
    }
    if (plan_.fitted.isValid()) return Picture(smoothReduce(image_, plan_.fitted), plan_.fitted);
    if (plan_.factor > 1) return Picture(std::move(image_), own_);
    return Picture(std::move(image_), own_, plan_.part);
}

}  // namespace forms::pixels
