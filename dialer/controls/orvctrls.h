#pragma once
// TOrvPerf: a black panel with a rolling bar graph of the most recent values,
// newest at the left edge; the tallest value reaches the top.

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <functional>

class QPainter;

class TOrvPerf : public QWidget {
    Q_OBJECT
public:
    // Sender and the painter of the off-screen picture being drawn.
    using TPaintEvent = std::function<void(TOrvPerf* Sender, QPainter& Canvas)>;

    explicit TOrvPerf(QWidget* Parent = nullptr);
    ~TOrvPerf() override;

    // The background (default black).
    QColor Color() const { return color_; }
    void SetColor(const QColor& Value);
    // The bars (default pure green).
    QColor LineColor = QColor(0, 255, 0);
    TPaintEvent OnPaintBefore;
    TPaintEvent OnPaintAfter;

    // The largest sample, never below 1 (recomputed by AddValue).
    uint16_t Max() const noexcept { return max_; }
    // Samples, newest first.
    const std::deque<uint16_t>& Samples() const noexcept { return samples_; }

    // A new sample at the front; the oldest go while there are more samples
    // than the graph is wide. A sample holds up to 65535: a larger value is
    // kept as 65535, the top of the graph.
    void AddValue(uint32_t Value);
    void Clear();
    // Asks for a redraw without erasing the background.
    void Invalidate();

protected:
    void paintEvent(QPaintEvent* Event) override;
    // Draws the whole graph into Canvas (the size of the control).
    void Paint(QPainter& Canvas);

private:
    void recomputeMax();

    QColor color_ = Qt::black;
    std::deque<uint16_t> samples_;
    uint16_t max_ = 1;
};
