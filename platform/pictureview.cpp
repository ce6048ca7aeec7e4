#include "platform/pictureview.h"

#include <QPainter>

namespace qlx {

PictureView::PictureView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void PictureView::setPicture(const wmf::Picture& picture)
{
    picture_ = picture;
    update();
}

void PictureView::clear() { setPicture(wmf::Picture()); }

void PictureView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), picture_.isNull() ? palette().window() : QBrush(Qt::white));
    picture_.draw(painter, QRectF(rect()));
}

} // namespace qlx
