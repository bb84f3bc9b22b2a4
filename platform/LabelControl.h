#pragma once

#include <QLabel>
#include <cstdint>
#include <string>

// A label of the main window with the properties the monitor sets on it:
// position and size in twips, caption, back and text colour in the 0x00BBGGRR
// order. It remembers the colour values it was given so that readers (and
// tests) get back exactly what was set. Owned by its parent window.
class LabelControl : public QLabel {
    Q_OBJECT
public:
    explicit LabelControl(QWidget* parent);

    void SetTwipsGeometry(int left, int top, int width, int height);
    int LeftTwips() const { return left_; }
    int TopTwips() const { return top_; }
    int WidthTwips() const { return width_; }
    int HeightTwips() const { return height_; }

    void SetCaption(const std::string& caption);
    std::string Caption() const;

    void SetBackColor(uint32_t bgr);
    uint32_t BackColor() const { return backColor_; }
    void SetForeColor(uint32_t bgr);
    uint32_t ForeColor() const { return foreColor_; }

    // A copy with every property of this label, on the same parent, hidden.
    LabelControl* Clone() const;

private:
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    uint32_t backColor_ = 0;
    uint32_t foreColor_ = 0;
};
