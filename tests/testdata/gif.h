#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QRgb>
#include <functional>

// Pictures made on the spot for the tests, the benchmarks and the fuzzer's seeds: Qt writes
// no GIF, so they are encoded here with giflib.
namespace testdata {

// Fills `row` (the frame's width in bytes) with the colour-table indices of the frame's row y.
using GifRows = std::function<void(int y, unsigned char* row)>;

struct GifFrame {
    QRect rect;  // where the frame lies on the logical screen
    GifRows rows;
    bool interlaced = false;
};

// A GIF89a: a logical screen of `screen`, the global colour table `palette` (filled up with
// black to a power of two, at most 256 colours), then the frames, each shown a tenth of a
// second; several frames loop for ever.
QByteArray Gif(QSize screen, const QList<QRgb>& palette, const QList<GifFrame>& frames);

// A GIF of solid frames as large as its screen, one for each colour index given.
QByteArray SolidGif(QSize size, const QList<int>& frames, const QList<QRgb>& palette);

}  // namespace testdata
