// 1,000 Buttons against 1,000 QPushButtons under the Fusion style, phase by
// phase: creating them, laying them out in a grid (size hints and
// geometry), and rendering the grid into an image.
#include "bench_main.h"

#include <kalvo/components/button.h>

#include <QApplication>
#include <QGridLayout>
#include <QImage>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>

#include <benchmark/benchmark.h>

namespace {

constexpr int kCount = 1000;
constexpr int kColumns = 25;

QString title(int i)
{
    // Varied lengths, as real titles are, and no two alike.
    static const char *const words[] = {"Join", "Leave meeting", "Share", "Record", "Mute all", "Invite people"};
    return QString::fromLatin1(words[i % 6]) + QLatin1Char(' ') + QString::number(i);
}

void useFusion()
{
    if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

QWidget *makeKalvo(QWidget *parent, int i)
{
    return new kalvo::Button(title(i), static_cast<kalvo::Button::Style>(i % 6), kalvo::Button::Size::medium, {},
                             parent);
}

QWidget *makeQt(QWidget *parent, int i)
{
    return new QPushButton(title(i), parent);
}

using Maker = QWidget *(*)(QWidget *, int);

void create(benchmark::State &state, Maker make)
{
    useFusion();
    for (auto _ : state) {
        auto container = std::make_unique<QWidget>();
        for (int i = 0; i < kCount; ++i)
            benchmark::DoNotOptimize(make(container.get(), i));
        state.PauseTiming();
        container.reset();
        state.ResumeTiming();
    }
}

std::unique_ptr<QWidget> laidOutGrid(Maker make)
{
    auto container = std::make_unique<QWidget>();
    auto *layout = new QGridLayout(container.get());
    layout->setSpacing(4);
    for (int i = 0; i < kCount; ++i)
        layout->addWidget(make(container.get(), i), i / kColumns, i % kColumns);
    container->resize(container->sizeHint());
    container->show();
    layout->activate();
    return container;
}

// The first layout of a fresh grid: every button is asked for its size
// hints and placed.
void layOut(benchmark::State &state, Maker make)
{
    useFusion();
    for (auto _ : state) {
        state.PauseTiming();
        auto container = std::make_unique<QWidget>();
        auto *layout = new QGridLayout(container.get());
        layout->setSpacing(4);
        for (int i = 0; i < kCount; ++i)
            layout->addWidget(make(container.get(), i), i / kColumns, i % kColumns);
        state.ResumeTiming();
        container->resize(container->sizeHint());
        layout->activate();
        state.PauseTiming();
        container.reset();
        state.ResumeTiming();
    }
}

void render(benchmark::State &state, Maker make)
{
    useFusion();
    auto container = laidOutGrid(make);
    QImage image(container->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        container->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void CreateButtons(benchmark::State &state) { create(state, makeKalvo); }
void CreateQPushButtons(benchmark::State &state) { create(state, makeQt); }
void LayOutButtons(benchmark::State &state) { layOut(state, makeKalvo); }
void LayOutQPushButtons(benchmark::State &state) { layOut(state, makeQt); }
void RenderButtons(benchmark::State &state) { render(state, makeKalvo); }
void RenderQPushButtons(benchmark::State &state) { render(state, makeQt); }

BENCHMARK(CreateButtons)->Unit(benchmark::kMillisecond);
BENCHMARK(CreateQPushButtons)->Unit(benchmark::kMillisecond);
BENCHMARK(LayOutButtons)->Unit(benchmark::kMillisecond);
BENCHMARK(LayOutQPushButtons)->Unit(benchmark::kMillisecond);
BENCHMARK(RenderButtons)->Unit(benchmark::kMillisecond);
BENCHMARK(RenderQPushButtons)->Unit(benchmark::kMillisecond);

const bool registered = [] {
    kalvo::bench::compare("create 1,000 Buttons vs QPushButtons", "CreateButtons", "CreateQPushButtons");
    kalvo::bench::compare("lay out 1,000 Buttons vs QPushButtons", "LayOutButtons", "LayOutQPushButtons");
    kalvo::bench::compare("render 1,000 Buttons vs QPushButtons", "RenderButtons", "RenderQPushButtons");
    return true;
}();

} // namespace
