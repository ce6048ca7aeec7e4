#include "wmf/wmfpicture.h"

#include "wmf/wmfplayer.h"
#include "wmf/wmftextruns.h"

#include <QFile>

namespace wmf {

// Files larger than this are not loaded: a tester hardcopy is a few hundred kilobytes.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

Picture Picture::fromData(const QByteArray& data)
{
    auto parsed = std::make_shared<Parsed>();
    Picture picture;
    if (data.size() <= MaxFileSize && wmf::parse(data, *parsed))
        picture.d_ = std::move(parsed);
    return picture;
}

Picture Picture::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        return {};
    Picture picture = fromData(file.readAll());
    if (!picture.isNull())
        picture.path_ = path;
    return picture;
}

QByteArray Picture::data() const { return d_ ? d_->bytes : QByteArray(); }

QSizeF Picture::naturalSize() const { return d_ ? wmf::naturalSize(*d_) : QSizeF(); }

void Picture::draw(QPainter& painter, const QRectF& target) const
{
    if (d_)
        wmf::play(painter, target, *d_);
}

QList<TextRun> Picture::textRuns(QSizeF size) const
{
    return d_ ? wmf::collectText(QRectF(QPointF(0, 0), size), *d_) : QList<TextRun>();
}

} // namespace wmf
