// Painting 1,000 state-coloured Views into an image, against 1,000 QFrames
// styled by an equivalent style sheet and 1,000 widgets that paint the same
// rounded rectangles with plain QPainter calls (the floor).
#include "bench_main.h"

#include <kalvo/foundation/view.h>
#include <kalvo/theme/color.h>

#include <QFrame>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <benchmark/benchmark.h>

namespace {

constexpr int kCount = 1000;
constexpr int kColumns = 40;
constexpr QSize kCell(60, 30);

template <typename Make>
std::unique_ptr<QWidget> grid(Make make)
{
    auto container = std::make_unique<QWidget>();
    container->resize(kColumns * kCell.width(), (kCount / kColumns) * kCell.height());
    for (int i = 0; i < kCount; ++i) {
        QWidget *child = make(container.get(), i);
        child->setGeometry((i % kColumns) * kCell.width() + 2, (i / kColumns) * kCell.height() + 2,
                           kCell.width() - 4, kCell.height() - 4);
    }
    container->show();
    return container;
}

void render(benchmark::State &state, QWidget &container)
{
    QImage image(container.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        container.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void KalvoViews(benchmark::State &state)
{
    auto container = grid([](QWidget *parent, int i) {
        auto *view = new kalvo::View(parent);
        view->setBackgroundColor(kalvo::Color::fillDefault());
        view->setHoveredBackgroundColor(kalvo::Color::subtleNeutralHovered());
        view->setClickedBackgroundColor(kalvo::Color::subtleNeutralPressed());
        view->setBorderColor(kalvo::Color::borderNeutral());
        view->setBorderWidth(1);
        view->setCornerRadius(8);
        view->setCursorState(static_cast<kalvo::CursorState>(i % 3));
        return view;
    });
    render(state, *container);
}

void StyleSheetFrames(benchmark::State &state)
{
    auto container = grid([](QWidget *parent, int) { return new QFrame(parent); });
    container->setStyleSheet(QStringLiteral("QFrame { background: #FFFFFF; border: 1px solid #C1C6CE; border-radius: 8px; }"
                                            "QFrame:hover { background: #F1F4F6; }"));
    render(state, *container);
}

class PlainRoundedRect : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xFF, 0xFF, 0xFF));
        painter.drawRoundedRect(QRectF(rect()), 8, 8);
        painter.setPen(QPen(QColor(0xC1, 0xC6, 0xCE), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7.5, 7.5);
    }
};

void PlainQPainterWidgets(benchmark::State &state)
{
    auto container = grid([](QWidget *parent, int) { return new PlainRoundedRect(parent); });
    render(state, *container);
}

BENCHMARK(KalvoViews)->Unit(benchmark::kMillisecond);
BENCHMARK(StyleSheetFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainQPainterWidgets)->Unit(benchmark::kMillisecond);

const bool registered = [] {
    kalvo::bench::compare("1,000 Views vs style-sheet QFrames", "KalvoViews", "StyleSheetFrames");
    kalvo::bench::compare("1,000 Views vs plain QPainter widgets", "KalvoViews", "PlainQPainterWidgets");
    return true;
}();

} // namespace
