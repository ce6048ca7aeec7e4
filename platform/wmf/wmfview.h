#pragma once
// The picture pane: shows a metafile stretched to the whole widget, drawn as vectors at every paint
// so that it stays sharp at any size.

#include "platform/wmf/wmfpicture.h"

#include <QWidget>

class WmfView : public QWidget {
    Q_OBJECT
public:
    explicit WmfView(QWidget* parent = nullptr);

    void setPicture(const WmfPicture& picture);
    WmfPicture picture() const { return picture_; }
    void clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    WmfPicture picture_;
};
