#pragma once
// Fitting a text into a control whose width the layout fixes: the fonts standing in for the
// window's own run wider, so a message that does not fit is set smaller, and a text that does not
// fit even then is shortened in the middle.

#include <QFont>
#include <QString>

namespace qlx {

// Below this the letters of the window's sans font stop being readable on a 96 dpi screen.
inline constexpr qreal kSmallestReadablePointSize = 6.0;

struct FittedText {
    QFont font;
    QString text;        // the text itself, or shortened with "…" in the middle
    bool elided = false; // then the whole text belongs in a tooltip
};

// `text` at the largest point size from `font`'s own down to `smallest`, in quarter points, at
// which it is at most `width` pixels wide; when it is wider even at `smallest`, it is elided in
// the middle at that size.
FittedText fitText(const QFont& font, const QString& text, int width, qreal smallest = kSmallestReadablePointSize);

} // namespace qlx
