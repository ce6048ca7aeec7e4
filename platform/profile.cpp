#include "platform/profile.h"

#include "platform/files.h"

#include <QList>

namespace qlx {
namespace {

// One line of the file without its line end, plus where the line end starts and ends.
struct Line {
    QByteArray text;
    qsizetype start = 0; // offset of the line in the file
    qsizetype end = 0;   // offset just past its line end
};

QList<Line> splitLines(const QByteArray& content)
{
    QList<Line> lines;
    qsizetype pos = 0;
    while (pos < content.size()) {
        qsizetype nl = content.indexOf('\n', pos);
        const qsizetype next = nl < 0 ? content.size() : nl + 1;
        qsizetype textEnd = nl < 0 ? content.size() : nl;
        if (textEnd > pos && content[textEnd - 1] == '\r')
            --textEnd;
        lines.append({content.mid(pos, textEnd - pos), pos, next});
        pos = next;
    }
    return lines;
}

QString decode(const QByteArray& bytes) { return QString::fromLocal8Bit(bytes); }

// The section name of a "[name]" line, or a null string for any other line.
QString sectionName(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (!t.startsWith('['))
        return {};
    const qsizetype close = t.indexOf(']');
    return decode(t.mid(1, (close < 0 ? t.size() : close) - 1)).trimmed();
}

// Splits a "key=value" line; false for lines without '='.
bool splitKey(const QByteArray& line, QString& key, QByteArray& value)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return false;
    key = decode(line.left(eq)).trimmed();
    value = line.mid(eq + 1);
    return true;
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString cleanValue(const QByteArray& raw)
{
    QString v = decode(raw).trimmed();
    if (v.size() >= 2 && v.startsWith(u'"') && v.endsWith(u'"'))
        v = v.mid(1, v.size() - 2);
    return v;
}

// Where a key lives in the file: the line of the key (or -1), the line after the last
// non-blank line of its section (or -1 when the section is absent).
struct Place {
    qsizetype keyLine = -1;
    qsizetype sectionEnd = -1;
};

Place locate(const QList<Line>& lines, const QString& section, const QString& key)
{
    Place place;
    bool inSection = false;
    bool sectionSeen = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString name = sectionName(lines[i].text);
        if (!name.isNull()) {
            // Only the first section of that name counts, as with the system functions.
            inSection = !sectionSeen && sameName(name, section);
            if (inSection) {
                sectionSeen = true;
                place.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!lines[i].text.trimmed().isEmpty())
            place.sectionEnd = i + 1;
        QString k;
        QByteArray v;
        if (place.keyLine < 0 && splitKey(lines[i].text, k, v) && sameName(k, key))
            place.keyLine = i;
    }
    return place;
}

// The file's content, empty when nothing has the name; nullopt for anything that is no regular
// file or cannot be read (a link is not followed, a named pipe or device is not waited on).
std::optional<QByteArray> currentContent(const QString& filePath)
{
    if (lookAt(filePath).kind == PathEntry::None)
        return QByteArray();
    return readRegularFile(filePath);
}

} // namespace

int GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultText, QString& value,
                            int bufferSize, const QString& filePath)
{
    value = defaultText;
    const QList<Line> lines = splitLines(currentContent(filePath).value_or(QByteArray()));
    const Place place = locate(lines, section, key);
    if (place.keyLine >= 0) {
        QString k;
        QByteArray raw;
        splitKey(lines[place.keyLine].text, k, raw);
        value = cleanValue(raw);
    }
    if (bufferSize <= 0)
        value.clear();
    else if (value.size() > bufferSize - 1)
        value.truncate(bufferSize - 1);
    return int(value.size());
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& filePath)
{
    const std::optional<QByteArray> current = currentContent(filePath);
    if (!current)
        return false; // only a regular file that could be read whole is rewritten
    const QByteArray& content = *current;
    const QByteArray eol = content.contains("\r\n") ? "\r\n" : "\n";
    const QList<Line> lines = splitLines(content);
    const Place place = locate(lines, section, key);
    const QByteArray encodedValue = value.toLocal8Bit();

    QByteArray result;
    if (place.keyLine >= 0) {
        // Replace the value of the existing line; its key keeps its spelling, its line end stays.
        const Line& line = lines[place.keyLine];
        const qsizetype eq = line.text.indexOf('=');
        result = content.left(line.start) + line.text.left(eq).trimmed() + '=' + encodedValue
                 + content.mid(line.start + line.text.size());
    } else if (place.sectionEnd >= 0) {
        // New key after the last non-blank line of its section.
        const Line& last = lines[place.sectionEnd - 1];
        QByteArray before = content.left(last.end);
        if (!before.endsWith('\n'))
            before += eol;
        result = before + key.toLocal8Bit() + '=' + encodedValue + eol + content.mid(last.end);
    } else {
        result = content;
        if (!result.isEmpty() && !result.endsWith('\n'))
            result += eol;
        result += '[' + section.toLocal8Bit() + ']' + eol + key.toLocal8Bit() + '=' + encodedValue + eol;
    }
    // Whole or not at all, never through a link: a folder that takes no temporary file keeps the file as it was.
    return writeWholeFile(filePath, result, Publish::ReplaceFile).status == FileWrite::Written;
}

} // namespace qlx
