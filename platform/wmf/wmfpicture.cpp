#include "platform/wmf/wmfpicture.h"

#include "platform/wmf/wmfplayer.h"

#include <QFile>

// Files larger than this are not loaded: a tester hardcopy is a few hundred kilobytes.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

WmfPicture WmfPicture::fromData(const QByteArray& data)
{
    auto parsed = std::make_shared<wmf::Parsed>();
    WmfPicture picture;
    if (data.size() <= MaxFileSize && wmf::parse(data, *parsed))
        picture.d_ = std::move(parsed);
    return picture;
}

WmfPicture WmfPicture::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        return {};
    return fromData(file.readAll());
}

QByteArray WmfPicture::data() const { return d_ ? d_->bytes : QByteArray(); }

QSizeF WmfPicture::naturalSize() const { return d_ ? wmf::naturalSize(*d_) : QSizeF(); }

void WmfPicture::draw(QPainter& painter, const QRectF& target) const
{
    if (d_)
        wmf::play(painter, target, *d_);
}
