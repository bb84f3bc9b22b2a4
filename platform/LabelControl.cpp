#include "platform/LabelControl.h"

#include "platform/Units.h"

LabelControl::LabelControl(QWidget* parent)
    : QLabel(parent)
{
    setAutoFillBackground(true);
}

void LabelControl::SetTwipsGeometry(int left, int top, int width, int height)
{
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

void LabelControl::SetCaption(const std::string& caption)
{
    setText(QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
}

std::string LabelControl::Caption() const
{
    return text().toLatin1().toStdString();
}

void LabelControl::SetBackColor(uint32_t bgr)
{
    backColor_ = bgr;
    QPalette p = palette();
    p.setColor(QPalette::Window, FromWinColor(bgr));
    setPalette(p);
}

void LabelControl::SetForeColor(uint32_t bgr)
{
    foreColor_ = bgr;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, FromWinColor(bgr));
    setPalette(p);
}

LabelControl* LabelControl::Clone() const
{
    auto* copy = new LabelControl(parentWidget());
    copy->hide();
    copy->setFont(font());
    copy->setAlignment(alignment());
    copy->SetBackColor(backColor_);
    copy->SetForeColor(foreColor_);
    copy->setText(text());
    copy->SetTwipsGeometry(left_, top_, width_, height_);
    return copy;
}
