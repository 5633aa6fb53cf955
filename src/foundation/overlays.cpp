// The built-in overlay presenter: Qt's own tool tips, and for popovers a
// plain frameless window with the popover's text. The floating-panel family
// installs a full presenter in its place.
#include <kalvo/foundation/overlays.h>

#include <kalvo/foundation/interactableview.h>
#include <kalvo/foundation/typography.h>
#include <kalvo/theme/appearance.h>

#include <QCursor>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <QVBoxLayout>

#include <mutex>

namespace kalvo {

PopoverModel::~PopoverModel() = default;
OverlayPanel::~OverlayPanel() = default;
OverlayPresenter::~OverlayPresenter() = default;

namespace {

class QtToolTipPanel final : public OverlayPanel
{
public:
    explicit QtToolTipPanel(const QString &text) : m_text(text) {}
    bool isVisible() const override { return QToolTip::isVisible() && QToolTip::text() == m_text; }
    bool isKeyWindow() const override { return false; }
    bool canBecomeKey() const override { return false; }
    void makeKey() override {}
    bool containsPointer() const override { return false; }
    void dismiss() override
    {
        if (isVisible())
            QToolTip::hideText();
    }

private:
    QString m_text;
};

// A small rounded window with the popover's text, below its view.
class TextPopoverWindow final : public QWidget
{
public:
    TextPopoverWindow(InteractableView &view, const QString &text)
        : QWidget(view.window(), Qt::ToolTip | Qt::FramelessWindowHint), m_view(&view)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(12, 12, 12, 12);
        m_label = new QLabel(text, this);
        m_label->setWordWrap(true);
        m_label->setFont(fontWithTypograph(Typograph::regular14));
        m_label->setMaximumWidth(520 - 24);
        layout->addWidget(m_label);
        setTnAppearance(this, TNAppearance::appearance(&view));
        setTnTheme(this, TNTheme::themeWithProvider(&view));
        adjustSize();
        resize(std::max(width(), 240), std::max(height(), 44));
        move(view.mapToGlobal(QPoint(0, view.height() + 4)));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const DrawingAppearanceScope scope(this);
        QPalette palette = m_label->palette();
        palette.setColor(QPalette::WindowText, Color::textStrongerNeutral()->resolved());
        m_label->setPalette(palette);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Color::borderSubtleNeutral()->resolved(), 1));
        painter.setBrush(Color::fillElevatedDefault()->resolved());
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
    void enterEvent(QEnterEvent *) override
    {
        if (m_view)
            m_view->popoverMouseEntered();
    }
    void leaveEvent(QEvent *) override
    {
        if (m_view)
            m_view->popoverMouseExited();
    }

private:
    QPointer<InteractableView> m_view;
    QLabel *m_label;
};

class TextPopoverPanel final : public OverlayPanel
{
public:
    explicit TextPopoverPanel(TextPopoverWindow *window) : m_window(window) {}
    ~TextPopoverPanel() override { dismiss(); }
    bool isVisible() const override { return m_window && m_window->isVisible(); }
    bool isKeyWindow() const override { return m_window && m_window->isActiveWindow(); }
    bool canBecomeKey() const override { return false; }
    void makeKey() override {}
    bool containsPointer() const override { return m_window && m_window->geometry().contains(QCursor::pos()); }
    void dismiss() override
    {
        if (m_window) {
            m_window->hide();
            m_window->deleteLater();
        }
    }

private:
    QPointer<TextPopoverWindow> m_window;
};

class BuiltInPresenter final : public OverlayPresenter
{
public:
    std::shared_ptr<OverlayPanel> showToolTip(View &view, const ToolTip &model, const QString &text) override
    {
        QString shown = text;
        if (const std::optional<QString> shortcut = model.shortcutText())
            shown += QStringLiteral("  ") + *shortcut;
        QToolTip::showText(view.mapToGlobal(QPoint(0, view.height() + 4)), shown, &view);
        return std::make_shared<QtToolTipPanel>(shown);
    }

    std::shared_ptr<OverlayPanel> showPopover(InteractableView &view, const PopoverModel &model) override
    {
        const QString text = model.plainText();
        if (text.isEmpty())
            return nullptr;
        auto *window = new TextPopoverWindow(view, text);
        window->show();
        return std::make_shared<TextPopoverPanel>(window);
    }
};

std::mutex g_presenterMutex;
std::shared_ptr<OverlayPresenter> &presenterSlot()
{
    static auto *slot = new std::shared_ptr<OverlayPresenter>;
    return *slot;
}

} // namespace

std::shared_ptr<OverlayPresenter> OverlayPresenter::current()
{
    std::lock_guard lock(g_presenterMutex);
    std::shared_ptr<OverlayPresenter> &slot = presenterSlot();
    if (!slot)
        slot = std::make_shared<BuiltInPresenter>();
    return slot;
}

void OverlayPresenter::setCurrent(std::shared_ptr<OverlayPresenter> presenter)
{
    std::lock_guard lock(g_presenterMutex);
    presenterSlot() = std::move(presenter);
}

} // namespace kalvo
