// TextOut and ExtTextOut: fonts sized in device pixels, glyphs placed as GDI would place them.

#include "wmf/wmfglyphcache.h"
#include "wmf/wmfplayer_p.h"
#include "wmf/wmftext.h"

#include <QGlyphRun>
#include <QRawFont>
#include <cmath>

namespace wmf {
namespace {

enum : int { EtoOpaque = 2, EtoClipped = 4, EtoPdy = 0x2000 };
enum : int {
    TaUpdateCp = 1,
    TaHorizontal = 6,
    TaRight = 2,
    TaCenter = 6,
    TaVertical = 24,
    TaBottom = 8,
    TaBaseline = 24
};

constexpr double BaseSize = 100;
constexpr double MaxStretch = 10;  // of glyphs, widest over narrowest
constexpr double MaxJustify = 1e6; // pixels of SetTextJustification's extra width

// Whether the transform keeps text drawable at all: not flattened to a line, nor projected.
bool invertible(const QTransform& t)
{
    const double det = t.determinant();
    return t.type() < QTransform::TxProject && det != 0 && std::isfinite(det);
}

// Whether Qt may draw glyphs of `pixelSize` under `t` as glyph runs. Qt draws small glyphs from
// images that FreeType renders for the transform, and FreeType fails on glyphs squeezed flat: a
// row of some hundreds of pixels in a glyph one pixel high overflows its rasterizer, and Qt then
// copies from the bitmap that was never made. The player draws such glyphs itself, and large
// ones, which Qt would fill as outlines each time.
bool glyphRunsFit(const QTransform& t, double pixelSize)
{
    const double det = qAbs(t.determinant());
    const double squares = t.m11() * t.m11() + t.m12() * t.m12() + t.m21() * t.m21() + t.m22() * t.m22();
    if (!invertible(t) || !std::isfinite(squares))
        return false;
    // The squares of the longest and shortest axis that the transform maps the unit circle to.
    const double spread = std::sqrt(qMax(0.0, squares * squares - 4 * det * det));
    const double longest = (squares + spread) / 2, shortest = (squares - spread) / 2;
    constexpr double MaxSquash = 2 * MaxStretch, MaxCachedSize = 64;
    return longest <= MaxSquash * MaxSquash * shortest && pixelSize * pixelSize * det <= MaxCachedSize * MaxCachedSize;
}

// Whether text of `pixelSize` under `t` goes to the device as text, rather than as outlines or
// the player's own glyph images.
bool drawsText(TextMode mode, const QTransform& t, double pixelSize)
{
    return mode == TextMode::Raster ? glyphRunsFit(t, pixelSize) : mode != TextMode::Outlines && invertible(t);
}

QFont qfont(const FontSpec& f, double pixelSize)
{
    QFont font;
    font.setFamilies(fontFamilies(f.face, f.pitchAndFamily));
    font.setStyleHint(styleHint(f.face, f.pitchAndFamily));
    font.setPixelSize(qMax(1, qRound(pixelSize)));
    font.setWeight(QFont::Weight(qBound(100, f.weight > 0 ? f.weight : 400, 900)));
    font.setItalic(f.italic);
    font.setKerning(false);
    // Hinted glyphs and whole-pixel advances at the size drawn, as GDI draws and places them.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// Raw fonts by face, style and size; resolving a font is far slower than drawing with it.
QRawFont rawFont(const FontSpec& f, double pixelSize)
{
    thread_local QHash<QString, QRawFont> cache;
    const QString key = QStringLiteral("%1|%2|%3|%4|%5")
                            .arg(QString::fromLatin1(f.face))
                            .arg(f.pitchAndFamily)
                            .arg(f.weight)
                            .arg(f.italic)
                            .arg(qRound(pixelSize * 8));
    if (auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    if (cache.size() > 512)
        cache.clear();
    QRawFont raw = QRawFont::fromFont(qfont(f, BaseSize));
    if (raw.isValid())
        raw.setPixelSize(pixelSize);
    cache.insert(key, raw);
    return raw;
}

// SetTextJustification's extra width in whole device pixels, for each character of `str`: the
// spaces share it as GDI shares it, each the same, the first ones a pixel more for the remainder.
QList<int> justification(const QString& str, int extra, int breaks)
{
    QList<int> out(str.size(), 0);
    if (extra == 0 || breaks <= 0)
        return out;
    const int share = extra / breaks, remainder = extra % breaks;
    int index = 0;
    for (qsizetype i = 0; i < str.size(); ++i)
        if (str[i] == QLatin1Char(' '))
            out[i] = share + (index++ < qAbs(remainder) ? (remainder > 0 ? 1 : -1) : 0);
    return out;
}

QPainterPath outlines(const QRawFont& raw, const QList<quint32>& glyphs, const QList<QPointF>& positions)
{
    QPainterPath outline;
    for (qsizetype i = 0; i < glyphs.size(); ++i)
        outline.addPath(raw.pathForGlyph(glyphs[i]).translated(positions[i]));
    return outline;
}

} // namespace

void Player::text(uint16_t function, const Bytes& p)
{
    std::vector<double> dx;
    if (function == fn::TextOut) {
        const int count = p.s16(0);
        const qsizetype after = 2 + ((count + 1) & ~1);
        if (count <= 0 || !p.has(after, 4))
            return;
        drawText(QPointF(p.s16(after + 2), p.s16(after)),
                 QByteArrayView(reinterpret_cast<const char*>(p.data() + 2), count), dx, 0, {});
        return;
    }
    const int count = p.s16(4), options = p.u16(6);
    if (count < 0 || !p.has(0, 8))
        return;
    qsizetype at = 8;
    std::optional<QRectF> rect;
    if ((options & (EtoOpaque | EtoClipped)) && p.has(at, 8 + count)) {
        rect = mapRect(p.s16(at), p.s16(at + 2), p.s16(at + 4), p.s16(at + 6));
        at += 8;
    }
    if (!p.has(at, count))
        return;
    const QByteArrayView bytes(reinterpret_cast<const char*>(p.data() + at), count);
    at += (count + 1) & ~1;
    const int step = (options & EtoPdy) && p.has(at, 4 * qsizetype(count)) ? 4 : 2;
    if (p.has(at, step * qsizetype(count))) {
        dx.resize(count);
        for (int i = 0; i < count; ++i)
            dx[i] = p.s16(at + step * i);
    }
    drawText(QPointF(p.s16(2), p.s16(0)), bytes, dx, options, rect);
}

void Player::drawText(QPointF pos, QByteArrayView bytes, const std::vector<double>& dx, int options,
                      const std::optional<QRectF>& rect)
{
    if (rect && (options & EtoOpaque) && !runs_)
        p_.fillRect(*rect, dc_.bkColor);
    if (bytes.isEmpty())
        return;
    // The record's clipping rectangle may reach far beyond the picture; only its part on the
    // picture counts.
    const std::optional<QRectF> clip =
        rect && (options & EtoClipped) ? std::optional<QRectF>(*rect & target_) : std::nullopt;
    std::optional<TextLine> line = layoutText(pos, bytes, dx);
    if (line && runs_)
        noteText(*line, clip);
    else if (line)
        paintText(*line, clip);
}

std::optional<TextLine> Player::layoutText(QPointF pos, QByteArrayView bytes, const std::vector<double>& dxLogical)
{
    const FontSpec& f = dc_.font;
    const double sx = qAbs(xf_.m11()), sy = qAbs(xf_.m22());
    TextLine line;
    line.raw = rawFont(f, BaseSize);
    if (!line.raw.isValid())
        return std::nullopt;
    const double cellRatio = BaseSize / qMax(1.0, line.raw.ascent() + line.raw.descent());
    // Height 0 asks for the default font, about 12 pixels of the picture's natural size.
    line.em = f.height < 0 ? -f.height * sy : f.height > 0 ? f.height * sy * cellRatio : 12 * pixelScale_;
    if (line.em < 0.3 || line.em > 20000)
        return std::nullopt;
    line.raw = rawFont(f, line.em);
    if (!line.raw.isValid())
        return std::nullopt;
    const QRawFont& raw = line.raw;

    work_ += 4 * bytes.size() + qint64(line.em) * bytes.size() / 16; // large glyphs cost more
    line.str = decodeText(bytes, f.charset);
    for (QChar& c : line.str)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    line.glyphs = raw.glyphIndexesForString(line.str);
    line.advances = raw.advancesForGlyphIndexes(line.glyphs);
    // Per-character widths from the record when they match the characters one to one.
    const bool useDx =
        !dxLogical.empty() && size_t(line.str.size()) == dxLogical.size() && line.glyphs.size() == line.str.size();
    if (f.width != 0 && raw.averageCharWidth() > 0)
        line.stretch = qBound(1 / MaxStretch, qAbs(f.width) * sx / raw.averageCharWidth(), MaxStretch);

    // Without widths from the record, each character advances by its hinted advance in whole
    // device pixels, as in GDI, and SetTextJustification's extra width goes to the spaces.
    const double extra = useDx ? 0 : qBound(-MaxJustify, dc_.justifyExtra * sx, MaxJustify);
    const QList<int> justify = justification(line.str, qRound(extra), dc_.justifyBreaks);
    line.positions.resize(line.glyphs.size());
    double x = 0;
    for (qsizetype i = 0; i < line.glyphs.size(); ++i) {
        line.positions[i] = QPointF(x / line.stretch, 0);
        x += useDx ? dxLogical[i] * sx : qRound(line.advances[i].x() * line.stretch) + dc_.charExtra * sx + justify[i];
    }
    line.width = x;

    const int align = dc_.textAlign;
    const QPointF ref = (align & TaUpdateCp) ? dc_.current : pos;
    double left = 0;
    if ((align & TaHorizontal) == TaCenter)
        left = -line.width / 2;
    else if ((align & TaHorizontal) == TaRight)
        left = -line.width;
    double baseline = raw.ascent();
    if ((align & TaVertical) == TaBaseline)
        baseline = 0;
    else if ((align & TaVertical) == TaBottom)
        baseline = -raw.descent();

    if (align & TaUpdateCp) {
        const double advance = line.width / qMax(sx, 1e-9) * (xf_.m11() < 0 ? -1 : 1);
        if ((align & TaHorizontal) == 0)
            dc_.current.rx() += advance;
        else if ((align & TaHorizontal) == TaRight)
            dc_.current.rx() -= advance;
    }

    const QPointF origin = map(ref.x(), ref.y());
    line.local = QTransform::fromTranslate(origin.x(), origin.y());
    line.local.rotate(-f.escapement / 10.0);
    line.local.translate(left, baseline);
    return line;
}

// Keeps of a line only the glyphs that can show within `visible` (in the picture's coordinates),
// so that the work of a text record is bounded by what the picture shows of it.
void TextLine::cull(const QRectF& visible)
{
    const QTransform glyphToPicture = QTransform::fromScale(stretch, 1) * local;
    const double top = -raw.ascent() - em, height = raw.ascent() + raw.descent() + 2 * em;
    QList<quint32> keptGlyphs;
    QList<QPointF> keptPositions, keptAdvances;
    QString keptStr;
    const bool byCharacter = str.size() == glyphs.size();
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        const QRectF box(positions[i].x() - em, top, advances[i].x() + 2 * em, height);
        if (!glyphToPicture.mapRect(box).intersects(visible))
            continue;
        keptGlyphs << glyphs[i];
        keptPositions << positions[i];
        keptAdvances << advances[i];
        if (byCharacter)
            keptStr += str[i];
    }
    if (keptGlyphs.size() == glyphs.size())
        return;
    glyphs = keptGlyphs;
    positions = keptPositions;
    advances = keptAdvances;
    if (byCharacter)
        str = keptStr;
}

void Player::paintText(TextLine& line, const std::optional<QRectF>& clip)
{
    const FontSpec& f = dc_.font;
    const QRawFont& raw = line.raw;
    const bool clipped = clip.has_value();
    if (clipped) {
        p_.save();
        p_.setClipRect(*clip, Qt::IntersectClip);
    }
    p_.setWorldTransform(line.local * base_);
    if (dc_.bkMode == 2)
        p_.fillRect(QRectF(0, -raw.ascent(), line.width, raw.ascent() + raw.descent()), dc_.bkColor);
    p_.setPen(dc_.textColor);

    const bool missing = std::any_of(line.glyphs.begin(), line.glyphs.end(), [](quint32 g) { return g == 0; });
    if (!missing)
        line.cull(clipArea(clip).boundingRect());
    if (textMode_ == TextMode::Strings) {
        // The SVG writer keeps no clipping: text that the clipping cuts is drawn as the outlines
        // of what is left of it.
        p_.scale(line.stretch, 1);
        const QPainterPath ink = outlines(raw, line.glyphs, line.positions);
        work_ += ink.elementCount();
        if (clipCuts(ink, clip)) {
            // Cut with the player's own clipping area, in the picture's coordinates: asking the
            // painter for its clip path makes Qt turn it into a region of the text's coordinates,
            // which takes seconds and memory without end for a clip rectangle far larger than the
            // picture under a turned or stretched font.
            const QTransform toPicture = p_.worldTransform() * base_.inverted();
            p_.setWorldTransform(base_);
            p_.fillPath(toPicture.map(ink).intersected(clipArea(clip)), dc_.textColor);
        } else if (drawsText(textMode_, p_.combinedTransform(), line.em)) {
            drawStrings(raw, line.str, line.glyphs.size() == line.str.size() ? line.positions : QList<QPointF>(),
                        line.advances, line.width / line.stretch, line.em);
        }
    } else if (!missing) {
        p_.scale(line.stretch, 1);
        drawGlyphs(raw, line.glyphs, line.positions, line.em);
    } else {
        // Characters this font lacks: let Qt choose fallback fonts, fitted to the same width as
        // far as the stretch of a font goes.
        const QFont font = qfont(f, line.em);
        const double natural = QFontMetricsF(font).horizontalAdvance(line.str);
        if (natural > 0)
            p_.scale(qBound(1 / MaxStretch, line.width / natural, MaxStretch), 1);
        if (drawsText(textMode_, p_.combinedTransform(), font.pixelSize())) {
            p_.setFont(font);
            p_.drawText(QPointF(0, 0), line.str);
        } else {
            QPainterPath outline;
            outline.addText(QPointF(0, 0), font, line.str);
            smooth(true);
            p_.fillPath(outline, dc_.textColor);
        }
    }
    p_.setWorldTransform(line.local * base_);
    const double thickness = qMax(raw.lineThickness(), 1.0);
    if (f.underline)
        p_.fillRect(QRectF(0, raw.underlinePosition(), line.width, thickness), dc_.textColor);
    if (f.strikeOut)
        p_.fillRect(QRectF(0, -raw.ascent() / 3 - thickness / 2, line.width, thickness), dc_.textColor);
    if (clipped) {
        p_.restore();
        p_.setRenderHint(QPainter::Antialiasing, smooth_);
    }
    p_.setWorldTransform(base_);
}

// Whether the clipping, with `rect` of the record, cuts text of the outlines `ink` (in the
// painter's current coordinates) other than at the picture's edges, where an SVG document ends.
bool Player::clipCuts(const QPainterPath& ink, const std::optional<QRectF>& rect) const
{
    // Less than half a pixel cut off makes no difference.
    const QRectF box =
        ((p_.worldTransform() * base_.inverted()).mapRect(ink.boundingRect()) & target_).adjusted(0.5, 0.5, -0.5, -0.5);
    return !box.isEmpty() && !clipArea(rect).contains(box);
}

// Where drawing shows, in the picture's coordinates: the clipping area within the picture, and
// within `rect` too where given.
QPainterPath Player::clipArea(const std::optional<QRectF>& rect) const
{
    QPainterPath area;
    if (dc_.clip.active)
        area = dc_.clip.toPath();
    else
        area.addRect(target_);
    if (rect) {
        QPainterPath record;
        record.addRect(*rect & target_);
        area = area.intersected(record);
    }
    return area;
}

// Small glyphs go to Qt as glyph runs, which it draws from its glyph cache; so do all on a PDF
// document. Larger and squeezed ones (see glyphRunsFit) are drawn from the player's own images of
// them, in device pixels; those too large to keep are filled as outlines, and so is text on
// devices that keep no text.
void Player::drawGlyphs(const QRawFont& raw, const QList<quint32>& glyphs, const QList<QPointF>& positions, double em)
{
    const QTransform device = p_.combinedTransform();
    if (drawsText(textMode_, device, em)) {
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        p_.drawGlyphRun(QPointF(0, 0), run);
        return;
    }
    smooth(true);
    if (textMode_ != TextMode::Raster) {
        p_.fillPath(outlines(raw, glyphs, positions), dc_.textColor);
        return;
    }
    const QTransform world = p_.worldTransform();
    const bool view = p_.viewTransformEnabled();
    p_.setWorldTransform(QTransform());
    p_.setViewTransformEnabled(false);
    GlyphImages images(raw, device, dc_.textColor);
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        if (const GlyphImage* image = images.find(glyphs[i])) {
            if (!image->image.isNull())
                p_.drawImage(device.map(positions[i]).toPoint() + image->offset, image->image);
        } else {
            p_.fillPath(device.map(raw.pathForGlyph(glyphs[i]).translated(positions[i])), dc_.textColor);
        }
    }
    p_.setViewTransformEnabled(view);
    p_.setWorldTransform(world);
}

// Text for a device that keeps strings only (SVG): the string in runs of characters, each where
// the record puts its first character and stretched to where it puts its last one, so that a
// viewer laying out a run in the same font places every character close to where the raster
// picture has it. A run ends where the record spaces two characters further apart or closer
// together than the font does (columns, spread or squeezed widths). `positions` and `advances`
// are those of the characters, in the font's unstretched pixels; without positions the string is
// one run of `width`.
void Player::drawStrings(const QRawFont& raw, const QString& str, const QList<QPointF>& positions,
                         const QList<QPointF>& advances, double width, double em)
{
    QFont font(raw.familyName());
    const int pixels = qMax(1, qRound(em));
    font.setPixelSize(pixels);
    font.setWeight(QFont::Weight(raw.weight()));
    font.setStyle(raw.style());
    font.setKerning(false);
    p_.setFont(font);
    const QTransform line = p_.worldTransform();
    const double scale = em / pixels;
    auto draw = [&](double left, const QString& run, double stretch) {
        if (run.trimmed().isEmpty())
            return;
        p_.setWorldTransform(QTransform::fromScale(stretch * scale, scale) * QTransform::fromTranslate(left, 0) * line);
        p_.drawText(QPointF(0, 0), run);
    };
    if (positions.size() != str.size() || advances.size() != str.size()) {
        const double natural = QFontMetricsF(font).horizontalAdvance(str) * scale;
        draw(0, str, natural > 0 ? qBound(1 / MaxStretch, width / natural, MaxStretch) : 1);
    } else {
        const double slack = qMax(1.0, em / 4);
        qsizetype start = 0;
        double natural = 0; // of the run from its first character to the current one
        for (qsizetype i = 1; i <= str.size(); ++i) {
            const double gap = i < str.size() ? positions[i].x() - positions[i - 1].x() : advances[i - 1].x();
            if (i < str.size() && qAbs(gap - advances[i - 1].x()) <= slack) {
                natural += advances[i - 1].x();
                continue;
            }
            const double span = positions[i - 1].x() - positions[start].x();
            draw(positions[start].x(), str.mid(start, i - start), natural > 0 && span > 0 ? span / natural : 1);
            start = i;
            natural = 0;
        }
    }
    p_.setWorldTransform(line);
}

} // namespace wmf
