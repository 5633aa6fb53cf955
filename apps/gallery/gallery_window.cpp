#include "gallery_window.h"

#include <kalvo/theme/appearance.h>
#include <kalvo/theme/color.h>

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace gallery {

namespace {

std::shared_ptr<kalvo::TNTheme> themeNamed(const QString &name)
{
    if (name == QLatin1String("bloom"))
        return kalvo::TNTheme::bloom();
    if (name == QLatin1String("agave"))
        return kalvo::TNTheme::agave();
    if (name == QLatin1String("rose"))
        return kalvo::TNTheme::rose();
    return nullptr; // default: the application's
}

// The shell's Qt palette from the tokens, resolved under the window's own
// appearance and theme, so plain Qt widgets match the Kalvo ones.
QPalette shellPalette(const QWidget *window)
{
    using kalvo::Color;
    const kalvo::DrawingAppearanceScope scope(window);
    QPalette p;
    const QColor text = Color::Theme::textStrongerNeutral()->resolved();
    p.setColor(QPalette::Window, Color::Theme::fillSubtlerNeutral()->resolved());
    p.setColor(QPalette::Base, Color::Theme::backgroundDarkerNeutral()->resolved());
    p.setColor(QPalette::AlternateBase, Color::backgroundNeutral()->resolved());
    p.setColor(QPalette::Button, Color::fillElevatedDefault()->resolved());
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::PlaceholderText, Color::Theme::textNeutral()->resolved());
    p.setColor(QPalette::Highlight, Color::Theme::fillGlobalPrimary()->resolved());
    p.setColor(QPalette::HighlightedText, Color::inverseGlobalDefault()->resolved());
    p.setColor(QPalette::Mid, Color::Theme::borderSubtleNeutral()->resolved());
    return p;
}

// Sidebar rows: roomy, with a rounded selection.
class PageItemDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 34);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF row = QRectF(option.rect).adjusted(8, 2, -8, -2);
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(option.palette.color(QPalette::Highlight));
            painter->drawRoundedRect(row, 6, 6);
        }
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::WindowText));
        painter->setFont(option.font);
        painter->drawText(row.adjusted(10, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }
};

} // namespace

GalleryWindow::GalleryWindow(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Kalvo Gallery"));

    m_list = new QListWidget;
    m_list->setFixedWidth(180);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setItemDelegate(new PageItemDelegate(m_list));
    m_list->setContentsMargins(8, 8, 8, 8);
    for (const Page &page : pages())
        m_list->addItem(page.title);

    m_header = new QWidget;
    auto *headerLayout = new QHBoxLayout(m_header);
    headerLayout->setContentsMargins(16, 10, 16, 10);
    auto *title = new QLabel;
    title->setObjectName(QStringLiteral("pageTitle"));
    QFont titleFont = title->font();
    titleFont.setPixelSize(18);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    headerLayout->addWidget(title, 1);

    m_appearance = new QButtonGroup(this);
    m_appearance->setExclusive(true);
    for (int i = 0; i < 2; ++i) {
        auto *button = new QPushButton(i == 0 ? QStringLiteral("Light") : QStringLiteral("Dark"));
        button->setCheckable(true);
        button->setChecked(i == 0);
        m_appearance->addButton(button, i);
        headerLayout->addWidget(button);
    }
    headerLayout->addSpacing(12);
    headerLayout->addWidget(new QLabel(QStringLiteral("Theme")));
    m_theme = new QComboBox;
    m_theme->addItems(themeNames());
    headerLayout->addWidget(m_theme);

    m_scroll = new QScrollArea;
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);

    auto *right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    right->addWidget(m_header);
    right->addWidget(m_scroll, 1);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_list);
    layout->addLayout(right, 1);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { showPage(row); });
    connect(m_appearance, &QButtonGroup::idClicked, this, [this](int id) {
        Look next = m_look;
        next.dark = id == 1;
        setLook(next);
    });
    connect(m_theme, &QComboBox::currentTextChanged, this, [this](const QString &theme) {
        Look next = m_look;
        next.theme = theme;
        setLook(next);
    });

    m_look.theme = themeNames().first();
    applyLook();
    showPage(0);
    resize(1100, 760);
}

void GalleryWindow::showPage(int index)
{
    if (index < 0 || index >= static_cast<int>(pages().size()))
        return;
    m_pageIndex = index;
    const QSignalBlocker blocker(m_list);
    m_list->setCurrentRow(index);
    rebuildPage();
}

void GalleryWindow::setLook(const Look &look)
{
    m_look = look;
    {
        const QSignalBlocker blockTheme(m_theme);
        m_theme->setCurrentText(look.theme);
    }
    m_appearance->button(look.dark ? 1 : 0)->setChecked(true);
    applyLook();
    rebuildPage();
}

int GalleryWindow::fullHeight() const
{
    const QWidget *page = m_scroll->widget();
    const int pageHeight = page ? page->sizeHint().height() : 0;
    return std::max(m_header->sizeHint().height() + pageHeight, m_list->sizeHintForRow(0) * m_list->count());
}

void GalleryWindow::rebuildPage()
{
    const Page &page = pages()[static_cast<std::size_t>(m_pageIndex)];
    findChild<QLabel *>(QStringLiteral("pageTitle"))->setText(page.title);
    QWidget *content = page.create(m_look);
    content->setAutoFillBackground(true);
    content->setBackgroundRole(QPalette::Base);
    m_scroll->setWidget(content); // deletes the previous page
}

void GalleryWindow::applyLook()
{
    kalvo::setTnAppearance(this, m_look.dark ? kalvo::TNAppearance::dark() : kalvo::TNAppearance::light());
    kalvo::setTnTheme(this, themeNamed(m_look.theme));
    setPalette(shellPalette(this));
    setAutoFillBackground(true);
}

} // namespace gallery
