#pragma once
// The player's device context: objects, drawing state and the logical-to-device mapping.

#include "wmf/wmfplayer.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QRegion>
#include <QTransform>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

namespace wmf {

struct PenSpec {
    int style = 0; // PS_* with end cap and join bits
    int width = 0; // logical units; 0 draws one device pixel
    QColor color = Qt::black;
};

struct BrushSpec {
    int style = 0; // BS_SOLID, BS_NULL, BS_HATCHED, BS_PATTERN, BS_DIBPATTERN...
    QColor color = Qt::white;
    int hatch = 0;
    QImage pattern;
};

struct FontSpec {
    int height = 0, width = 0, escapement = 0, weight = 400;
    bool italic = false, underline = false, strikeOut = false;
    int charset = 0, pitchAndFamily = 0;
    QByteArray face;
};

using Palette = QList<QRgb>;
using Object = std::variant<PenSpec, BrushSpec, FontSpec, Palette, QRegion>;

// The clipping area in painter coordinates, within the target rectangle; inactive means all of
// it. Kept as a rectangle while it is one, since rectangles clip much faster than paths.
struct Clip {
    bool active = false;
    bool isRect = true;
    QRectF rect;
    QPainterPath path;
    QPainterPath toPath() const;
};

// GDI's device-context state as SaveDC/RestoreDC keep it.
struct DcState {
    int mapMode = 8; // MM_ANISOTROPIC: the player stretches the window onto the target
    QPointF windowOrg, windowExt, viewportOrg, viewportExt;
    QPointF viewportShift; // by OffsetViewportOrg, in pixels of the picture at its natural size
    bool viewportSet = false;
    PenSpec pen;
    BrushSpec brush;
    FontSpec font;
    int palette = -1; // object index
    QColor textColor = Qt::black, bkColor = Qt::white;
    int bkMode = 2;    // OPAQUE
    int rop2 = 13;     // R2_COPYPEN
    int polyFill = 1;  // ALTERNATE
    int textAlign = 0; // TA_LEFT | TA_TOP
    int charExtra = 0;
    int justifyExtra = 0, justifyBreaks = 0; // SetTextJustification, for the next text record
    QPointF current;                         // logical
    Clip clip;
};

// A text record laid out: its glyphs and where they stand on the line, in the font's pixels before
// its stretch, and where the line stands in the picture.
struct TextLine {
    QRawFont raw;
    QString str;
    QList<quint32> glyphs;
    QList<QPointF> positions, advances;
    double em = 0, stretch = 1, width = 0; // width in device pixels
    QTransform local;                      // the line's coordinates to the picture's
    void cull(const QRectF& visible);
};

// How a device takes text. Raster devices draw glyph runs from Qt's glyph cache. A PDF document
// keeps glyph runs as text, with their fonts embedded. An SVG document keeps only strings: a glyph
// run reaches its writer without the characters, and it would fill outlines in their place. Other
// devices get the outlines.
enum class TextMode { Raster, GlyphRuns, Strings, Outlines };

class Player {
public:
    // With `runs`, the player paints nothing but notes there the text runs the picture shows.
    Player(QPainter& painter, const QRectF& target, const Parsed& picture, QList<TextRun>* runs = nullptr);
    void run();

private:
    // mapping (wmfplayer.cpp)
    void updateTransform();
    QPointF map(double x, double y) const { return xf_.map(QPointF(x, y)); }
    QRectF mapRect(double l, double t, double r, double b) const;
    double penWidth(int logical) const;
    QColor color(uint32_t colorRef) const;
    const Palette* palette() const;
    // Each record's handler; true where it changed the logical-to-device mapping.
    bool record(const Record& r, const Bytes& p);
    bool mapping(uint16_t function, const Bytes& p);
    void setting(uint16_t function, const Bytes& p);
    void saveDc();
    bool restoreDc(int n);
    bool draw(const Record& r, const Bytes& p);
    void object(const Record& r, const Bytes& p);
    void addObject(Object o);
    void select(int index);
    void clipRect(uint16_t function, const Bytes& p);
    void clipRegion(int index);
    void offsetClip(const Bytes& p);
    void applyClip();

    // shapes (wmfshapes.cpp)
    void lineTo(const Bytes& p);
    bool setupPen();
    QPen currentPen() const;
    // Draws a shape on the painter given: its area when `outline` is false, else its frame.
    using Outline = std::function<void(QPainter& painter, bool outline)>;
    void fillAndStroke(const Outline& shape, const QRectF& bounds, bool fill = true);
    void paintOnce(const std::function<void(QPainter&)>& paint, const QRectF& bounds);
    void shape(uint16_t function, const Bytes& p);
    void poly(uint16_t function, const Bytes& p);
    void arc(uint16_t function, const Bytes& p);
    void region(uint16_t function, const Bytes& p);
    QPainterPath regionPath(int index) const;
    bool composition(int rop2);
    void smooth(bool on);
    void charge(const QRectF& area);                  // counts the pixels an operation covers as work
    QRectF reach() const;                             // where drawing can still show, with the pen's room
    QPolygonF within(const QPolygonF& polygon) const; // the polygon cut to reach()

    // bitmaps (wmfbitmaps.cpp)
    void bitmap(const Record& r, const Bytes& p);
    void blit(uint32_t rop, const QRectF& dest, const QImage& image, QRectF source);
    void patternBlit(uint32_t rop, const QRectF& dest);
    QImage monoBitmap(const Bytes& bitmap16) const;
    QBrush brush(const BrushSpec& b) const;

    // text (wmftextout.cpp)
    void text(uint16_t function, const Bytes& p);
    void drawText(QPointF pos, QByteArrayView bytes, const std::vector<double>& dx, int options,
                  const std::optional<QRectF>& rect);
    std::optional<TextLine> layoutText(QPointF pos, QByteArrayView bytes, const std::vector<double>& dx);
    void paintText(TextLine& line, const std::optional<QRectF>& clip);
    // text runs (wmftextruns.cpp)
    void noteText(const TextLine& line, const std::optional<QRectF>& clip);
    void drawGlyphs(const QRawFont& raw, const QList<quint32>& glyphs, const QList<QPointF>& positions, double em);
    bool clipCuts(const QPainterPath& ink, const std::optional<QRectF>& rect) const;
    QPainterPath clipArea(const std::optional<QRectF>& rect) const;
    void drawStrings(const QRawFont& raw, const QString& str, const QList<QPointF>& positions,
                     const QList<QPointF>& advances, double width, double em);

    QPainter& p_;
    const QRectF target_;
    const Parsed& pic_;
    const QTransform base_;
    QTransform xf_; // logical to painter coordinates
    std::optional<QRectF> firstViewport_;
    DcState dc_;
    std::vector<DcState> saved_;
    int savedOverflow_ = 0;
    std::vector<std::optional<Object>> objects_;
    size_t firstFree_ = 0; // no free object slot below this index
    qint64 work_ = 0;      // rough cost of what was drawn so far, see MaxWork
    bool rasterOps_ = false;
    bool smooth_ = false;
    TextMode textMode_ = TextMode::Raster;
    double pixelScale_ = 1; // target pixels per pixel of the picture's natural size
    QList<TextRun>* runs_;  // collecting the text instead of painting
};

// Whether every segment of `points` is horizontal or vertical: such shapes need no anti-aliasing.
bool axisAligned(const QPolygonF& points);
// The point on whole device pixels, where GDI puts it.
QPointF pixel(QPointF point);
QPolygonF pixels(const QPolygonF& polygon);

constexpr int MaxSavedStates = 256;
// Playback stops after this much work (records, points, glyphs, region rectangles, covered pixels,
// text runs), so that a hostile file of millions of costly records cannot hold the program for
// minutes.
constexpr qint64 MaxWork = 20'000'000;
constexpr int MaxObjects = 65535;

} // namespace wmf
