#include "platform/pictureview.h"

#include "platform/dialogs.h"
#include "wmf/wmfconvert.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPainter>

namespace qlx {

PictureView::PictureView(QWidget* parent)
    : QWidget(parent), saveAction_(new QAction(QStringLiteral("Save picture as..."), this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    addAction(saveAction_);
    saveAction_->setEnabled(false);
    connect(saveAction_, &QAction::triggered, this, &PictureView::savePictureAs);
}

void PictureView::setPicture(const wmf::Picture& picture)
{
    picture_ = picture;
    saveAction_->setEnabled(!picture_.isNull());
    update();
}

void PictureView::savePictureAs()
{
    if (picture_.isNull())
        return;
    // Beside the hardcopy and named after it, as an image unless the user chooses otherwise.
    const QFileInfo source(picture_.path());
    const QString suggested = picture_.path().isEmpty() ? QStringLiteral("hardcopy.png")
                                                        : source.dir().filePath(source.completeBaseName() + ".png");
    const QString path =
        dialogs().saveFileName(this, QStringLiteral("Save picture as"), suggested,
                               {QStringLiteral("PNG image (*.png)"), QStringLiteral("SVG drawing (*.svg)"),
                                QStringLiteral("PDF document (*.pdf)")});
    if (path.isEmpty())
        return;
    const auto format = wmf::formatFromName(path);
    const QString error = format ? wmf::savePicture(picture_, path, *format)
                                 : QStringLiteral("%1: the name must end in .png, .svg or .pdf").arg(path);
    if (!error.isEmpty())
        dialogs().messageBox(this, QStringLiteral("The picture could not be saved: ") + error + u'.', MbCritical,
                             QStringLiteral("ERROR"));
}

void PictureView::clear() { setPicture(wmf::Picture()); }

void PictureView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), picture_.isNull() ? palette().window() : QBrush(Qt::white));
    picture_.draw(painter, QRectF(rect()));
}

} // namespace qlx
