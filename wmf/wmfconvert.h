#pragma once
// Metafiles converted into files for reports: PNG images, SVG drawings and PDF documents, and the
// text they show. Used by qlxrender, by qlxctl and by the picture pane's "Save picture as...".
//
// The size of an output follows renderSize(picture, requested.width(), requested.height()): a
// missing side keeps the picture's aspect ratio, none gives its natural size. A PDF page is that
// many pixels at 96 dpi (800x600 pixels make a page of 600x450 points); it holds the picture as
// vectors, its text as text in embedded fonts, so that it can be searched and copied. SVG keeps the
// text as text too. The text formats hold the picture's text runs at that size (wmftextruns.h) in
// UTF-8: txt the lines as a person reads them, json each run with its place, colour and font.
//
// Every output is written whole or not at all: the data goes to a temporary file beside it, which
// replaces `out` only once it is complete, so that a failed conversion leaves no partial file and
// an existing `out` as it was. An input is only ever read. Errors come back as one line of text
// for a person, naming the file; empty text means the output was written.

#include "wmf/wmfpicture.h"

#include <QSize>
#include <QStringList>
#include <optional>

namespace wmf {

enum class Format { Png, Svg, Pdf, Txt, Json };

// The format a file name asks for by its extension: .png, .svg, .pdf, .txt or .json in any case.
std::optional<Format> formatFromName(const QString& fileName);
// The format named "png", "svg", "pdf", "txt" or "json" (any case), as on a command line.
std::optional<Format> formatFromText(const QString& name);
// The extension of the format's files, without the dot: "png", "svg", "pdf", "txt", "json".
QString formatExtension(Format format);

// Writes `picture` as the file `out`.
QString savePicture(const Picture& picture, const QString& out, Format format, QSize requested = {});

// Reads the metafile `in` and writes it as `out`; a PDF document is titled with the input's file
// name. An `out` that is the input file itself is refused.
QString convertFile(const QString& in, const QString& out, Format format, QSize requested = {});

// Several metafiles as one PDF document `out`, a page for each in the order given, with the file's
// name as a title above the picture (the page keeps the picture's aspect ratio; the picture
// shrinks a little to leave room for the title). A file that cannot be read is left out and
// reported; the document is written when at least one page could be. Returns the errors, one for
// each input left out and one for the document if it was not written; none when all went well.
QStringList convertToPdf(const QStringList& inputs, const QString& out, QSize requested = {});

} // namespace wmf
