#include "platform/pictureview.h"

#include "platform/dialogs.h"
#include "wmf/wmfconvert.h"
#include "wmf/wmfrender.h"
#include "wmf/wmftextruns.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>

namespace qlx {

PictureView::PictureView(QWidget* parent)
    : QWidget(parent),
      saveAction_(new QAction(QStringLiteral("Save picture as..."), this)),
      copyTextAction_(new QAction(QStringLiteral("Copy Text"), this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    addAction(saveAction_);
    addAction(copyTextAction_);
    saveAction_->setEnabled(false);
    copyTextAction_->setEnabled(false);
    connect(saveAction_, &QAction::triggered, this, &PictureView::savePictureAs);
    connect(copyTextAction_, &QAction::triggered, this, &PictureView::copyText);
}

void PictureView::setPicture(const wmf::Picture& picture)
{
    picture_ = picture;
    saveAction_->setEnabled(!picture_.isNull());
    copyTextAction_->setEnabled(!picture_.isNull());
    update();
}

void PictureView::copyText()
{
    if (!picture_.isNull())
        QGuiApplication::clipboard()->setText(wmf::readingText(wmf::readingLines(picture_, wmf::renderSize(picture_))));
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
