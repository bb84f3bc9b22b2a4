#pragma once

#include <QWidget>
#include <cstdint>

// A straight one-pixel line of the main window between (X1, Y1) and
// (X2, Y2) in twips, drawn in one colour (0x00BBGGRR). The layout only uses
// horizontal and vertical lines. Owned by its parent window.
class LineControl : public QWidget {
    Q_OBJECT
public:
    LineControl(QWidget* parent, uint32_t bgr);

    void SetEnds(int x1, int y1, int x2, int y2);
    int X1() const { return x1_; }
    int Y1() const { return y1_; }
    int X2() const { return x2_; }
    int Y2() const { return y2_; }
    uint32_t BorderColor() const { return color_; }

    // A copy with the same ends and colour, on the same parent, hidden.
    LineControl* Clone() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    uint32_t color_;
    int x1_ = 0;
    int y1_ = 0;
    int x2_ = 0;
    int y2_ = 0;
};
