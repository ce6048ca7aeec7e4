// The text runs a picture shows, from the layout the player draws, and their reading order.

#include "wmf/wmftextruns.h"

#include "wmf/wmfplayer_p.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>

namespace wmf {
namespace {

// What noting a run costs, as work of the player (see MaxWork): a hostile record whose every
// other character is clipped away cannot make millions of runs.
constexpr qint64 RunWork = 100;

// A number of pixels or degrees in JSON, to a tenth.
QByteArray number(double value)
{
    return QByteArray::number(std::round(value * 10) / 10, 'g', QLocale::FloatingPointShortest);
}

// A string in JSON, quoted and escaped.
QByteArray quoted(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

struct Line {
    double top, bottom;
    QList<TextRun> runs;
};

bool onLine(const Line& line, const QRectF& box)
{
    const double overlap = qMin(line.bottom, box.bottom()) - qMax(line.top, box.top());
    return overlap > qMin(line.bottom - line.top, box.height()) / 2;
}

} // namespace

void Player::noteText(const TextLine& line, const std::optional<QRectF>& clip)
{
    // Where the picture shows text: within the picture, the record's rectangle and the clipping
    // area, which is a rectangle or a path.
    const Clip& area = dc_.clip;
    const bool byPath = area.active && !area.isRect;
    const QRectF within = (clip ? *clip : target_) & target_
                          & (!area.active ? target_
                             : byPath     ? area.path.boundingRect()
                                          : area.rect);
    const auto shows = [&](QPointF middle) {
        if (!within.contains(middle))
            return false;
        if (!byPath)
            return true;
        work_ += area.path.elementCount();
        return work_ <= MaxWork && area.path.contains(middle);
    };

    // The characters' cells on the line, in device pixels from its start: one cell for all of
    // them where the glyphs do not match the characters one to one.
    const QString& str = line.str;
    const bool byCharacter = line.positions.size() == str.size();
    const qsizetype cells = byCharacter ? str.size() : 1;
    const auto left = [&](qsizetype i) { return byCharacter ? line.positions[i].x() * line.stretch : 0.0; };
    const auto right = [&](qsizetype i) { return i + 1 < cells ? left(i + 1) : line.width; };
    const double top = -line.raw.ascent(), bottom = line.raw.descent();
    const auto blank = [&](qsizetype i) { return byCharacter ? str[i].isSpace() : str.trimmed().isEmpty(); };
    const auto shown = [&](qsizetype i) {
        return shows(line.local.map(QPointF((left(i) + right(i)) / 2, (top + bottom) / 2)));
    };

    const double angle = std::fmod(std::fmod(dc_.font.escapement / 10.0, 360) + 360, 360);
    for (qsizetype i = 0; i < cells && work_ <= MaxWork;) {
        if (blank(i) || !shown(i)) {
            ++i;
            continue;
        }
        qsizetype end = i + 1, ink = i + 1; // past the shown cells, past the last one not blank
        for (; end < cells && shown(end); ++end)
            if (!blank(end))
                ink = end + 1;
        double from = left(i), to = right(i);
        for (qsizetype k = i; k < ink; ++k)
            from = std::min({from, left(k), right(k)}), to = std::max({to, left(k), right(k)});
        TextRun run;
        run.text = byCharacter ? str.mid(i, ink - i) : str.trimmed();
        run.box = line.local.mapRect(QRectF(QPointF(from, top), QPointF(to, bottom)));
        run.colour = dc_.textColor;
        run.font = QString::fromLatin1(dc_.font.face);
        run.size = line.em;
        run.angle = angle;
        runs_->append(run);
        work_ += RunWork;
        i = end;
    }
}

TextLines readingLines(const Picture& picture, QSize size)
{
    QList<TextRun> runs = picture.textRuns(QSizeF(size));
    std::stable_sort(runs.begin(), runs.end(),
                     [](const TextRun& a, const TextRun& b) { return a.box.top() < b.box.top(); });
    // Lines open from top to bottom; a level run joins the line opened last when it is on it.
    std::vector<Line> lines;
    qsizetype level = -1; // the last line of level runs
    for (const TextRun& run : runs) {
        if (run.angle == 0 && level >= 0 && onLine(lines[level], run.box)) {
            Line& line = lines[level];
            line.top = qMin(line.top, run.box.top());
            line.bottom = qMax(line.bottom, run.box.bottom());
            line.runs.append(run);
            continue;
        }
        if (run.angle == 0)
            level = qsizetype(lines.size());
        lines.push_back({run.box.top(), run.box.bottom(), {run}});
    }
    TextLines out;
    for (Line& line : lines) {
        std::stable_sort(line.runs.begin(), line.runs.end(),
                         [](const TextRun& a, const TextRun& b) { return a.box.left() < b.box.left(); });
        out.append(line.runs);
    }
    return out;
}

QString readingText(const TextLines& lines)
{
    QString text;
    for (const QList<TextRun>& line : lines) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (i > 0)
                text += u' ';
            text += line[i].text;
        }
        text += u'\n';
    }
    return text;
}

// One run to a line, its fields in a fixed order, so that the document reads well and greps well.
QByteArray readingJson(const TextLines& lines, const QString& file, QSize size)
{
    QByteArray json = "{\"file\": " + quoted(file) + ", \"width\": " + QByteArray::number(size.width())
                      + ", \"height\": " + QByteArray::number(size.height()) + ", \"runs\": [";
    const char* separator = "\n";
    for (const QList<TextRun>& line : lines)
        for (const TextRun& run : line) {
            json += separator;
            json += "  {\"text\": " + quoted(run.text) + ", \"x\": " + number(run.box.x())
                    + ", \"y\": " + number(run.box.y()) + ", \"width\": " + number(run.box.width()) + ", \"height\": "
                    + number(run.box.height()) + ", \"colour\": \"" + run.colour.name().toLatin1() + "\", \"font\": "
                    + quoted(run.font) + ", \"size\": " + number(run.size) + ", \"angle\": " + number(run.angle) + "}";
            separator = ",\n";
        }
    return json + "\n]}\n";
}

} // namespace wmf
