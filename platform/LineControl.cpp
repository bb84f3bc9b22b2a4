#include "platform/LineControl.h"

#include "platform/Units.h"

#include <QPainter>
#include <algorithm>

LineControl::LineControl(QWidget* parent, uint32_t bgr)
    : QWidget(parent), color_(bgr)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineControl::SetEnds(int x1, int y1, int x2, int y2)
{
    x1_ = x1;
    y1_ = y1;
    x2_ = x2;
    y2_ = y2;
    const int left = TwipsToPixels(std::min(x1, x2));
    const int top = TwipsToPixels(std::min(y1, y2));
    const int right = TwipsToPixels(std::max(x1, x2));
    const int bottom = TwipsToPixels(std::max(y1, y2));
    setGeometry(left, top, right - left + 1, bottom - top + 1);
}

LineControl* LineControl::Clone() const
{
    auto* copy = new LineControl(parentWidget(), color_);
    copy->hide();
    copy->SetEnds(x1_, y1_, x2_, y2_);
    return copy;
}

void LineControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), FromWinColor(color_));
}
