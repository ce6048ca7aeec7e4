#pragma once
// The picture pane: shows a metafile stretched to the whole widget, drawn as vectors at every paint
// so that it stays sharp at any size.

#include "wmf/wmfpicture.h"

#include <QWidget>

namespace qlx {

class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    void setPicture(const wmf::Picture& picture);
    wmf::Picture picture() const { return picture_; }
    void clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    wmf::Picture picture_;
};

} // namespace qlx
