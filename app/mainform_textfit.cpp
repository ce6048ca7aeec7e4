#include "app/mainform_textfit.h"

#include <QFontMetrics>

namespace qlx {

FittedText fitText(const QFont& font, const QString& text, int width, qreal smallest)
{
    constexpr qreal kStep = 0.25;
    FittedText fitted{font, text};
    for (qreal size = font.pointSizeF(); size >= smallest; size -= kStep) {
        fitted.font.setPointSizeF(size);
        if (QFontMetrics(fitted.font).horizontalAdvance(text) <= width)
            return fitted;
    }
    fitted.font.setPointSizeF(qMin(smallest, font.pointSizeF()));
    fitted.text = QFontMetrics(fitted.font).elidedText(text, Qt::ElideMiddle, width);
    fitted.elided = fitted.text != text;
    return fitted;
}

} // namespace qlx
