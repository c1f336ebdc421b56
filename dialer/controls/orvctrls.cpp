#include "dialer/controls/orvctrls.h"

#include "platform/app.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

TOrvPerf::TOrvPerf(QWidget* Parent) : QWidget(Parent)
{
    resize(100, 20);
    // Every pixel is drawn by paintEvent: no erasing, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TOrvPerf::~TOrvPerf() = default;

void TOrvPerf::SetColor(const QColor& Value)
{
    color_ = Value;
    Invalidate();
}

void TOrvPerf::recomputeMax()
{
    uint16_t m = 1;
    for (uint16_t v : samples_) m = std::max(m, v);
    max_ = m;
}

void TOrvPerf::AddValue(uint32_t Value)
{
    samples_.push_front(static_cast<uint16_t>(std::min<uint32_t>(Value, UINT16_MAX)));
    while (static_cast<int>(samples_.size()) > width()) samples_.pop_back();
    recomputeMax();
    Invalidate();
}

void TOrvPerf::Clear()
{
    samples_.clear();
    Invalidate();
}

void TOrvPerf::Invalidate() { update(); }

void TOrvPerf::Paint(QPainter& Canvas)
{
    const int h = height();
    Canvas.fillRect(rect(), color_);
    if (OnPaintBefore) OnPaintBefore(this, Canvas);
    int x = 0;
    for (uint16_t v : samples_) {
        const int top = h - static_cast<int>(int64_t{v} * h / max_);
        if (top < h) Canvas.fillRect(x, top, 1, h - top, LineColor);
        ++x;
    }
    if (OnPaintAfter) OnPaintAfter(this, Canvas);
}

void TOrvPerf::paintEvent(QPaintEvent*)
{
    app::guard([&] {
        QPixmap picture(size());
        {
            QPainter canvas(&picture);
            Paint(canvas);
        }
        QPainter(this).drawPixmap(0, 0, picture);
    });
}
