#pragma once
// The picture pane: shows a metafile stretched to the whole widget, drawn as vectors at every paint
// so that it stays sharp at any size. Its context menu saves the picture as PNG, SVG or PDF, and
// copies the text it shows.

#include "wmf/wmfpicture.h"

#include <QWidget>

class QAction;

namespace qlx {

class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    void setPicture(const wmf::Picture& picture);
    wmf::Picture picture() const { return picture_; }
    void clear();

    // Asks for a file through the dialogs' seam and writes the picture there at its natural size,
    // in the format the name's extension gives; a failure is said in an "ERROR" message box.
    // The context menu's "Save picture as..." does this while a picture is shown.
    void savePictureAs();
    QAction* saveAction() const { return saveAction_; }

    // Puts the text the picture shows on the clipboard, as qlxrender's txt format has it at the
    // picture's natural size: the context menu's "Copy Text".
    void copyText();
    QAction* copyTextAction() const { return copyTextAction_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    wmf::Picture picture_;
    QAction* saveAction_;
    QAction* copyTextAction_;
};

} // namespace qlx
