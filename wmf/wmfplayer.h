#pragma once
// Plays the records of a parsed metafile onto a QPainter, stretched to a target rectangle.

#include "wmf/wmfformat.h"
#include "wmf/wmftextruns.h"

#include <QHash>
#include <QImage>
#include <QRectF>

class QPainter;

namespace wmf {

struct Parsed {
    QByteArray bytes;
    Header header;
    std::vector<Record> records;
    QRectF frame;                  // logical rectangle that fills the target
    bool yUp = false;              // a metric map mode with y growing upwards
    QHash<qsizetype, QImage> dibs; // decoded bitmaps of bitmap records, by record offset
    Bytes file() const { return Bytes(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size()); }
};

// Parses the header and records and decodes the bitmaps. Returns false when the data is no metafile.
bool parse(const QByteArray& bytes, Parsed& out);

// The size in pixels at 96 dpi that the picture was made for.
QSizeF naturalSize(const Parsed& picture);

void play(QPainter& painter, const QRectF& target, const Parsed& picture);

// Plays the picture onto `target` without painting: the text runs it shows there, in the order
// they are drawn.
QList<TextRun> collectText(const QRectF& target, const Parsed& picture);

} // namespace wmf
