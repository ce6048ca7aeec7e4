#include "platform/wmf/wmfview.h"

#include <QPainter>

WmfView::WmfView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void WmfView::setPicture(const WmfPicture& picture)
{
    picture_ = picture;
    update();
}

void WmfView::clear() { setPicture(WmfPicture()); }

void WmfView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), picture_.isNull() ? palette().window() : QBrush(Qt::white));
    picture_.draw(painter, QRectF(rect()));
}
