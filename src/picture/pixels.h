// Pieces the picture loader's readers share: the limits, which part of a picture is wanted,
// pixel blocks, and rows folded into a reduced picture as they are decoded.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <vector>

#include "picture/picture.h"

namespace forms::pixels {

// Largest picture read, in pixels: 256 megapixels is 1 GiB at four bytes a pixel.
constexpr qint64 kMaxPixels = 256LL * 1024 * 1024;
// The most a decoder may take for its own buffers (a progressive JPEG keeps all its
// coefficients, a lossless WebP its whole picture): beyond it the picture is refused rather
// than the machine run out of memory.
constexpr long kMaxDecoderMemory = 1024L * 1024 * 1024;
// Pixels decoded around the part of a picture that a view shows: the control's place on
// screen is rounded from twips, and a decoder's edge pixels lack their neighbours.
constexpr int kViewMargin = 2;
// The largest block averaged into one pixel of a reduced picture; beyond it the picture is
// held larger and stretched by the control.
constexpr int kMaxFactor = 256;

// What the caller asks of a picture: a preview box (`fit`), a view it is centred on (`view`),
// or a screen it is shown whole on (`screen`).
struct Request {
    QSize fit;
    QSize view;
    QSize screen;
};

// What to decode of a picture of size `own`, upright as stored.
struct Plan {
    QRect part;  // the rows and columns held, when not reduced
    // Above 1: the whole picture, averaged over blocks of fx x fy pixels.
    int fx = 1, fy = 1;
    bool reduced() const { return fx > 1 || fy > 1; }
    QSize fitted;  // valid: reduced at the end to this size, which becomes its own size
};

bool tooLarge(QSize size);
inline int ceilDiv(int a, int b) { return (a + b - 1) / b; }
// The largest of the reductions 1/2, 1/4 and 1/8 that still covers `box`; 1 when none does.
int scaleDenominator(QSize own, QSize box);
// The part of a picture of size `own` that a view of size `view` shows with the picture
// centred on it, widened by the margin.
QRect visiblePart(QSize own, QSize view);
// The largest size with the aspect ratio of `own` that fits in `screen`; `own` itself when it
// fits already.
QSize fittedSize(QSize own, QSize screen);
// `coarse`: reduce to at most the fitted size rather than at least (for pictures whose rows
// come in any order, which are folded into a block the size of the reduced picture).
Plan planFor(QSize own, const Request& request, bool coarse = false);
// One smooth reduction to `size`: every pixel averages the pixels it covers.
QImage smoothReduce(const QImage& image, QSize size);
// Pixels for a picture; null when they cannot be had. Unless `populate`, its pages are taken
// only as they are written: for a decoder that may fail on its first bytes.
QImage newImage(QSize size, QImage::Format format, bool populate = true);

// Rows of a picture of size `own`, decoded in any order, held as the plan says: the columns
// and rows of the part, or averaged into the reduced picture.
class Rows {
public:
    Rows(QSize own, const Plan& plan, bool alpha, bool anyOrder);
    bool valid() const { return !image_.isNull(); }
    // The first and one past the last row and column wanted.
    int top() const { return top_; }
    int bottom() const { return bottom_; }
    int left() const { return left_; }
    int right() const { return right_; }
    bool wants(int y) const { return y >= top_ && y < bottom_; }
    // Where row y's pixels from left() to right() go; then done(y).
    QRgb* row(int y);
    void done(int y);
    // Row y is all one colour: cheaper than writing it, for rows a format leaves empty.
    void doneFilled(int y, QRgb colour);
    // The picture, with rows never given left black (or clear where it has alpha).
    Picture finish();

private:
    // The sums of a band, opened (and the band before it flushed) when rows come in order.
    uint32_t* openBand(int band);
    // One more row is in the band's sums; a band complete is flushed.
    void rowAdded(int band);
    void flush(int band);

    QSize own_;
    Plan plan_;
    QImage image_;
    int top_ = 0, bottom_ = 0, left_ = 0, right_ = 0;
    // Reduction: four sums (blue, green, red, alpha) per reduced pixel of each open band.
    bool anyOrder_ = false;
    std::vector<QRgb> line_;
    std::vector<uint32_t> sums_;
    std::vector<int> rowsIn_;
    int open_ = -1;            // the band open, when the rows come in order
    std::vector<char> given_;  // the rows of the image written
};

}  // namespace forms::pixels
