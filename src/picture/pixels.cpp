#include "picture/pixels.h"

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

// The largest factor whose reduction of `size` still covers `box` (or the whole size, when it
// is smaller than the box).
int factorFor(int size, int box) {
    box = std::min(size, box);
    int k = std::clamp(size / std::max(1, box), 1, kMaxFactor);
    while (k > 1 && ceilDiv(size, k) < box) --k;
    return k;
}

}  // namespace

int scaleDenominator(QSize own, QSize box) {
    for (int d : {8, 4, 2}) {
        if (ceilDiv(own.width(), d) >= box.width() && ceilDiv(own.height(), d) >= box.height())
            return d;
    }
    return 1;
}

Plan planFor(QSize own, const Request& request, bool coarse) {
    Plan plan;
    plan.part = QRect(QPoint(0, 0), own);
    const QSize fitted = fittedSize(own, request.screen);
    if (fitted != own) {
        // One factor both ways, so that the reduction keeps the aspect ratio.
        plan.fitted = fitted;
        const int k = coarse ? std::max(ceilDiv(own.width(), fitted.width()),
                                        ceilDiv(own.height(), fitted.height()))
                             : std::min(factorFor(own.width(), fitted.width()),
                                        factorFor(own.height(), fitted.height()));
        plan.fx = plan.fy = std::clamp(k, 1, kMaxFactor);
    } else if (request.screen.isValid() || request.view.isValid()) {
        const QSize view = request.screen.isValid() ? request.screen : request.view;
        if (!view.isEmpty()) plan.part = visiblePart(own, view);
    } else if (request.fit.isValid() && !request.fit.isEmpty()) {
        // Each way on its own: the preview is stretched to its box.
        plan.fx = factorFor(own.width(), request.fit.width());
        plan.fy = factorFor(own.height(), request.fit.height());
    }
    return plan;
}

QImage smoothReduce(const QImage& image, QSize size) {
    if (image.size() == size) return image;
    QImage out = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (out.format() != image.format()) out = out.convertToFormat(image.format());
    return out;
}

QImage newImage(QSize size, QImage::Format format, bool populate) {
    // Mapped for each picture and unmapped when it is released, so that a show's memory never
    // holds more than its pictures: from the ordinary allocator, a picture released by one
    // thread after another thread made it stays in that thread's arena. Every row is written,
    // so the pages are populated at once rather than faulted in one at a time.
    const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
    const size_t bytes = size_t(bytesPerLine) * size_t(std::max(0, size.height()));
    if (bytes == 0) return {};
    void* address = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | (populate ? MAP_POPULATE : 0), -1, 0);
    if (address == MAP_FAILED) return {};
    struct Block {
        void* address;
        size_t bytes;
    };
    auto* block = new Block{address, bytes};
    const auto release = [](void* info) {
        auto* b = static_cast<Block*>(info);
        ::munmap(b->address, b->bytes);
        delete b;
    };
    QImage image(static_cast<uchar*>(address), size.width(), size.height(), bytesPerLine, format,
                 release, block);
    // A size Qt cannot hold gives a null image that never calls the release.
    if (image.isNull()) release(block);
    return image;
}

Rows::Rows(QSize own, const Plan& plan, bool alpha, bool anyOrder)
    : own_(own), plan_(plan), anyOrder_(anyOrder) {
    const QImage::Format format =
        alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (plan.reduced()) {
        const QSize reduced(ceilDiv(own.width(), plan.fx), ceilDiv(own.height(), plan.fy));
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
    given_.assign(size_t(image_.height()), 0);
}

QRgb* Rows::row(int y) {
    if (plan_.reduced()) return line_.data();
    return reinterpret_cast<QRgb*>(image_.scanLine(y - top_));
}

void Rows::done(int y) {
    if (!plan_.reduced()) {
        given_[size_t(y - top_)] = 1;
        return;
    }
    const int k = plan_.fx;
    const int band = y / plan_.fy;
    uint32_t* sums = openBand(band);
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
    rowAdded(band);
}

uint32_t* Rows::openBand(int band) {
    if (!anyOrder_ && band != open_) {
        if (open_ >= 0) flush(open_);
        open_ = band;
    }
    return sums_.data() + (anyOrder_ ? size_t(band) * size_t(image_.width()) * 4 : 0);
}

void Rows::rowAdded(int band) {
    const int rowsInBand = std::min(plan_.fy, own_.height() - band * plan_.fy);
    if (++rowsIn_[size_t(band)] == rowsInBand) {
        flush(band);
        if (!anyOrder_) open_ = -1;
    }
}

void Rows::doneFilled(int y, QRgb colour) {
    if (!plan_.reduced()) {
        QRgb* out = row(y);
        std::fill(out, out + (right_ - left_), colour);
        done(y);
        return;
    }
    // The sums of a row of one colour, a block of columns at a time.
    const int k = plan_.fx;
    const int band = y / plan_.fy;
    uint32_t* sums = openBand(band);
    for (int bx = 0; bx < image_.width(); ++bx) {
        const uint32_t n = uint32_t(std::min(k, own_.width() - bx * k));
        uint32_t* s = sums + 4 * bx;
        s[0] += n * (colour & 0xFF);
        s[1] += n * ((colour >> 8) & 0xFF);
        s[2] += n * ((colour >> 16) & 0xFF);
        s[3] += n * (colour >> 24);
    }
    rowAdded(band);
}

void Rows::flush(int band) {
    const int rows = rowsIn_[size_t(band)];
    if (rows == 0) return;
    const int k = plan_.fx;
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
    given_[size_t(band)] = 1;
}

Picture Rows::finish() {
    if (plan_.reduced()) {
        // Bands cut short by the end of the data hold the rows they had.
        for (int band = 0; band < int(rowsIn_.size()); ++band)
            if (rowsIn_[size_t(band)] > 0) flush(band);
    }
    // Rows never decoded (a file cut short) are black, or clear.
    const QRgb empty = image_.hasAlphaChannel() ? 0u : 0xFF000000u;
    for (int y = 0; y < image_.height(); ++y) {
        if (given_[size_t(y)]) continue;
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
        std::fill(line, line + image_.width(), empty);
    }
    if (plan_.fitted.isValid()) return Picture(smoothReduce(image_, plan_.fitted), plan_.fitted);
    if (plan_.reduced()) return Picture(std::move(image_), own_);
    return Picture(std::move(image_), own_, plan_.part);
}

}  // namespace forms::pixels
