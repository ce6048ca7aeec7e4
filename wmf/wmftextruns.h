#pragma once
// The text a picture shows, for searching and for tables: the runs of characters as the player
// lays them out when it draws the picture, each where it stands on the picture, and the lines a
// person reads them in. Used by qlxrender's txt and json formats and by the picture pane's
// "Copy Text".
//
// A run is the part of one text record that the picture shows: characters that the clipping cuts
// away (their middle is outside it) or that lie outside the picture are left out, and a record cut
// in the middle gives a run on each side. Blanks at a run's ends are left out, and so are runs of
// blanks alone. The characters are decoded from the font's character set as the player decodes
// them.

#include "wmf/wmfpicture.h"

#include <QColor>
#include <QList>
#include <QSize>
#include <QString>

namespace wmf {

struct TextRun {
    QString text;
    QRectF box; // in pixels of the picture at the size laid out; for turned text, the box around it
    QColor colour;
    QString font;     // the face name the record asks for
    double size = 0;  // the font's height in pixels (its em)
    double angle = 0; // degrees, counter-clockwise, 0 to under 360
};

// Lines of runs from top to bottom, each line's runs from left to right.
using TextLines = QList<QList<TextRun>>;

// The runs `picture` shows when drawn at `size` (see renderSize), in reading order: a run whose
// vertical extent overlaps a line's by more than half of the shorter one's height is on that line,
// whatever order the records were written in; a turned run is a line of its own.
TextLines readingLines(const Picture& picture, QSize size);

// The lines as a person reads them: the runs of a line joined by a space, each line ending in a
// line feed.
QString readingText(const TextLines& lines);

// The runs in reading order as a JSON document: {"file", "width", "height", "runs": [{"text",
// "x", "y", "width", "height", "colour", "font", "size", "angle"}, ...]}, positions and sizes in
// pixels to a tenth, colours as "#rrggbb".
QByteArray readingJson(const TextLines& lines, const QString& file, QSize size);

} // namespace wmf
