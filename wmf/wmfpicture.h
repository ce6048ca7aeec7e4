#pragma once
// A Windows Metafile picture: the original bytes and what is needed to draw them.

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>

class QPainter;

namespace wmf {
struct Parsed;
struct TextRun;

class Picture {
public:
    Picture() = default;

    // A picture of the bytes; null when they are no metafile.
    static Picture fromData(const QByteArray& data);
    // The picture in a file; null when it cannot be read or is no metafile.
    static Picture load(const QString& path);

    bool isNull() const { return !d_; }
    QByteArray data() const;
    // The file the picture was loaded from; empty for one made from data.
    QString path() const { return path_; }
    // Size in pixels at 96 dpi that the picture was made for.
    QSizeF naturalSize() const;
    // Draws the picture stretched to `target` (in the painter's current coordinates).
    void draw(QPainter& painter, const QRectF& target) const;
    // The text runs the picture shows when drawn at `size`, in the order they are drawn (see
    // wmftextruns.h for the reading order).
    QList<TextRun> textRuns(QSizeF size) const;

private:
    std::shared_ptr<const Parsed> d_;
    QString path_;
};

} // namespace wmf
