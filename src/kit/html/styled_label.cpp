#include <kalvo/html/styledlabel.h>

#include "styledtext_document_p.h"

#include <kalvo/theme/appearance.h>
#include <kalvo/theme/theme.h>
#include <kalvo/theme/tncolors.h>

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>
#include <QWindow>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace kalvo {

Q_LOGGING_CATEGORY(lcStyledLabel, "kalvo.html.label")

namespace {

// The link of target/action links that were given no tool tip.
const QString kDefaultActionLink = QStringLiteral("TN://DEFAULT");

StyledLabel::LinkHandler &sharedLinkHandler()
{
    static StyledLabel::LinkHandler handler;
    return handler;
}

bool isLinkRun(const TextAttributes &a)
{
    return detail::isActionLink(a) || (a.link && !a.link->isEmpty());
}

bool sameLink(const TextAttributes &a, const TextAttributes &b)
{
    const auto target = [](const TextAttributes &x) { return x.target ? x.target->data() : nullptr; };
    return a.link == b.link && a.action == b.action && a.target.has_value() == b.target.has_value()
        && target(a) == target(b);
}

// Runs the action on its target. An action ending in ":" takes the link
// first; a target without such a method is asked again without argument.
bool runAction(const TextAttributes &a, const QString &link)
{
    QObject *target = a.target ? a.target->data() : nullptr;
    QString name = a.action.value_or(QString());
    const bool takesArgument = name.endsWith(QLatin1Char(':'));
    while (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    if (!target || name.isEmpty()) {
        qCWarning(lcStyledLabel) << "link action" << a.action.value_or(QString())
                                 << (target ? "has no name" : "has no target (gone?)");
        return false;
    }
    const QByteArray method = name.toUtf8();
    bool ok = false;
    if (takesArgument)
        ok = QMetaObject::invokeMethod(target, method.constData(), Qt::DirectConnection, Q_ARG(QString, link));
    if (!ok)
        ok = QMetaObject::invokeMethod(target, method.constData(), Qt::DirectConnection);
    if (!ok)
        qCWarning(lcStyledLabel) << "link action" << name << "could not be invoked on" << target;
    return ok;
}

} // namespace

QRect StyledLabel::cellRect(const QRectF &rect)
{
    return QRect(QPoint(qRound(rect.x()), qRound(rect.y())), QSize(qRound(rect.width()), qRound(rect.height())));
}


// ---- Accessibility ----
// The label reads as its plain text; each link is a child element, a button
// when its run has the button role, a link otherwise, pressable.

namespace {

class LinkAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    LinkAccessible(StyledLabel *label, int index) : m_label(label), m_index(index) {}

    bool isValid() const override { return m_label && m_index < m_label->linkCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_label ? m_label->window()->windowHandle() : nullptr; }
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>> relations(QAccessible::Relation) const override
    {
        return {};
    }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_label.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name) {
            const TextRange range = m_label->linkRange(m_index);
            QString text = m_label->styledText().text().mid(range.location, range.length);
            return text.remove(QChar(kAttachmentCharacter));
        }
        if (t == QAccessible::Description || t == QAccessible::Help)
            return m_label->linkText(m_index);
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        QRectF bounds;
        for (const QRectF &piece : m_label->linkRects(m_index))
            bounds |= piece;
        return QRect(m_label->mapToGlobal(bounds.topLeft().toPoint()), bounds.size().toSize());
    }

    QAccessible::Role role() const override
    {
        if (!isValid())
            return QAccessible::Link;
        return m_label->linkRole(m_index) == TNAXButtonRole ? QAccessible::Button : QAccessible::Link;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        s.focused = m_label->focusedLink() == m_index;
        s.linked = role() == QAccessible::Link;
        s.invisible = !m_label->isVisible();
        return s;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && isValid())
            m_label->activateLink(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<StyledLabel> m_label;
    int m_index;
};

class LabelAccessible : public QAccessibleWidget
{
public:
    explicit LabelAccessible(StyledLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}
    ~LabelAccessible() override
    {
        for (const auto &[index, id] : m_links)
            QAccessible::deleteAccessibleInterface(id);
    }

    StyledLabel *label() const { return static_cast<StyledLabel *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = QAccessibleWidget::text(t);
            return name.isEmpty() ? label()->plainText() : name;
        }
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return QAccessibleWidget::childCount() + label()->linkCount(); }

    QAccessibleInterface *child(int index) const override
    {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets)
            return QAccessibleWidget::child(index);
        const int link = index - widgets;
        if (link >= label()->linkCount())
            return nullptr;
        auto it = m_links.find(link);
        if (it == m_links.end()) {
            auto *iface = new LinkAccessible(label(), link);
            it = m_links.emplace(link, QAccessible::registerAccessibleInterface(iface)).first;
        }
        return QAccessible::accessibleInterface(it->second);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (const auto &[index, id] : m_links) {
            if (QAccessible::accessibleInterface(id) == child)
                return QAccessibleWidget::childCount() + index;
        }
        return QAccessibleWidget::indexOfChild(child);
    }

    QAccessibleInterface *focusChild() const override
    {
        const int focused = label()->focusedLink();
        return focused >= 0 ? child(QAccessibleWidget::childCount() + focused) : QAccessibleWidget::focusChild();
    }

private:
    mutable std::map<int, QAccessible::Id> m_links;
};

QAccessibleInterface *accessibleFactory(const QString &, QObject *object)
{
    if (auto *label = qobject_cast<StyledLabel *>(object))
        return new LabelAccessible(label);
    return nullptr;
}

} // namespace

struct StyledLabel::Private
{
    struct Link
    {
        TextRange range;
        TextAttributes attributes;
    };

    explicit Private(StyledLabel *label) : q(label) {}

    StyledLabel *q;
    StyledText text;
    std::vector<Link> links;
    QTextDocument *document = nullptr;
    bool dirty = true;
    DrawingState builtState;
    qreal laidOutWidth = -2; // the text width the document is laid out at
    bool wordWrap = false;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    ColorPtr textColor = tnPriTextColor();
    LinkHandler localHandler;
    int pressedLink = -1;
    int focusedLink = -1;
    std::vector<QPointer<QWidget>> hostedViews;
    std::optional<QSize> cachedHint; // layouts ask often; measuring lays out again

    // Makes the document again; colours resolve against the drawing state
    // current now.
    void rebuild()
    {
        delete document;
        document = text.toTextDocument(q);
        if (q->testAttribute(Qt::WA_SetFont))
            document->setDefaultFont(q->font());
        dirty = false;
        builtState = currentDrawingState();
        laidOutWidth = -2;
        cachedHint.reset();
    }

    // The document, built under the label's appearance when it is missing.
    QTextDocument *doc()
    {
        if (!document || dirty) {
            const DrawingAppearanceScope scope(q);
            rebuild();
        }
        return document;
    }

    void layoutFor(qreal width)
    {
        QTextDocument *document = doc();
        if (width == laidOutWidth)
            return;
        QTextOption option = document->defaultTextOption();
        option.setWrapMode(wordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
        option.setAlignment(Qt::Alignment(alignment & Qt::AlignHorizontal_Mask));
        document->setDefaultTextOption(option);
        document->setTextWidth(width);
        laidOutWidth = width;
    }

    // Lays the document out at the label's width; answers where the
    // document's origin is in label coordinates.
    QPointF laidOut()
    {
        doc();
        const QRect area = q->contentsRect();
        layoutFor(std::max(0, area.width()));
        const qreal height = document->size().height();
        qreal dy = 0;
        if (alignment & Qt::AlignBottom)
            dy = area.height() - height;
        else if (alignment & Qt::AlignVCenter)
            dy = (area.height() - height) / 2;
        return QPointF(area.left(), area.top() + std::max<qreal>(0, std::floor(dy)));
    }

    int positionAt(const QPointF &point)
    {
        const QPointF origin = laidOut();
        return document->documentLayout()->hitTest(point - origin, Qt::ExactHit);
    }

    int linkAtPosition(int position) const
    {
        if (position < 0)
            return -1;
        for (std::size_t i = 0; i < links.size(); ++i) {
            if (links[i].range.contains(position))
                return int(i);
        }
        return -1;
    }

    // The line pieces of a range, in label coordinates.
    std::vector<QRectF> rangeRects(TextRange range)
    {
        std::vector<QRectF> rects;
        const QPointF origin = laidOut();
        for (QTextBlock block = document->findBlock(int(range.location)); block.isValid(); block = block.next()) {
            if (block.position() >= range.end())
                break;
            const QTextLayout *layout = block.layout();
            for (int i = 0; layout && i < layout->lineCount(); ++i) {
                const QTextLine line = layout->lineAt(i);
                const qsizetype start = std::max<qsizetype>(range.location, block.position() + line.textStart());
                const qsizetype end =
                    std::min<qsizetype>(range.end(), block.position() + line.textStart() + line.textLength());
                if (start >= end)
                    continue;
                const qreal x1 = line.cursorToX(int(start - block.position()));
                const qreal x2 = line.cursorToX(int(end - block.position()));
                rects.emplace_back(QRectF(std::min(x1, x2), line.y(), std::abs(x2 - x1), line.height())
                                       .translated(origin + layout->position()));
            }
        }
        return rects;
    }

    void collectLinks()
    {
        links.clear();
        for (const StyledRun &run : text.runs()) {
            if (!isLinkRun(run.attributes))
                continue;
            if (!links.empty() && links.back().range.end() == run.range.location
                && sameLink(links.back().attributes, run.attributes)) {
                links.back().range.length += run.range.length;
                continue;
            }
            links.push_back({run.range, run.attributes});
        }
    }

    // Moves inline host widgets into the label, over their cells.
    void placeViews()
    {
        std::vector<QPointer<QWidget>> placed;
        const auto attachments = text.attachments();
        bool any = false;
        for (const auto &[position, attachment] : attachments)
            any = any || (attachment && attachment->kind() == TextAttachment::Kind::View && attachment->view());
        if (any) {
            const QPointF origin = laidOut();
            for (const auto &[position, attachment] : attachments) {
                QWidget *view = attachment ? attachment->view() : nullptr;
                if (!view || attachment->kind() != TextAttachment::Kind::View || view == q)
                    continue;
                const QRectF rect = detail::attachmentRect(document, int(position));
                if (view->parentWidget() != q)
                    view->setParent(q);
                view->setGeometry(cellRect(rect.translated(origin)));
                view->show();
                placed.emplace_back(view);
            }
        }
        // Widgets of an earlier text stay with the label, out of sight.
        for (const QPointer<QWidget> &old : hostedViews) {
            if (old && old->parentWidget() == q
                && std::find(placed.begin(), placed.end(), old) == placed.end())
                old->hide();
        }
        hostedViews = std::move(placed);
    }

    void textLayoutChanged()
    {
        laidOutWidth = -2;
        cachedHint.reset();
        placeViews();
        q->updateGeometry();
        q->update();
    }
};

StyledLabel::StyledLabel(QWidget *parent) : View(parent), d(std::make_unique<Private>(this))
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

StyledLabel::StyledLabel(const StyledText &text, QWidget *parent) : StyledLabel(parent)
{
    setStyledText(text);
}

StyledLabel::~StyledLabel() = default;

const StyledText &StyledLabel::styledText() const
{
    return d->text;
}

void StyledLabel::setStyledText(const StyledText &text)
{
    d->text = text;
    d->dirty = true;
    d->pressedLink = -1;
    d->collectLinks();
    d->focusedLink = d->links.empty() ? -1 : std::min<int>(std::max(d->focusedLink, 0), int(d->links.size()) - 1);
    setFocusPolicy(d->links.empty() ? Qt::NoFocus : Qt::TabFocus);
    setAccessibleName(plainText());
    unsetCursor();
    d->textLayoutChanged();
}

QString StyledLabel::plainText() const
{
    QString plain = d->text.text();
    plain.remove(QChar(kAttachmentCharacter));
    return plain;
}

bool StyledLabel::wordWrap() const
{
    return d->wordWrap;
}

void StyledLabel::setWordWrap(bool wrap)
{
    if (d->wordWrap == wrap)
        return;
    d->wordWrap = wrap;
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(wrap);
    setSizePolicy(policy);
    d->textLayoutChanged();
}

Qt::Alignment StyledLabel::alignment() const
{
    return d->alignment;
}

void StyledLabel::setAlignment(Qt::Alignment alignment)
{
    if (d->alignment == alignment)
        return;
    d->alignment = alignment;
    d->textLayoutChanged();
}

ColorPtr StyledLabel::textColor() const
{
    return d->textColor;
}

void StyledLabel::setTextColor(ColorPtr color)
{
    d->textColor = std::move(color);
    update();
}

void StyledLabel::setLinkHandler(LinkHandler handler)
{
    sharedLinkHandler() = std::move(handler);
}

StyledLabel::LinkHandler StyledLabel::linkHandler()
{
    return sharedLinkHandler();
}

void StyledLabel::setLocalLinkHandler(LinkHandler handler)
{
    d->localHandler = std::move(handler);
}

StyledLabel::LinkHandler StyledLabel::localLinkHandler() const
{
    return d->localHandler;
}

// ---- Links ----

int StyledLabel::linkCount() const
{
    return int(d->links.size());
}

TextRange StyledLabel::linkRange(int index) const
{
    return index >= 0 && index < linkCount() ? d->links[std::size_t(index)].range : TextRange{};
}

QString StyledLabel::linkText(int index) const
{
    if (index < 0 || index >= linkCount())
        return {};
    return d->links[std::size_t(index)].attributes.link.value_or(QString());
}

QString StyledLabel::linkRole(int index) const
{
    if (index < 0 || index >= linkCount())
        return {};
    return d->links[std::size_t(index)].attributes.axRole.value_or(QString());
}

std::vector<QRectF> StyledLabel::linkRects(int index) const
{
    if (index < 0 || index >= linkCount())
        return {};
    return d->rangeRects(d->links[std::size_t(index)].range);
}

int StyledLabel::linkAt(const QPointF &point) const
{
    if (d->links.empty())
        return -1;
    return d->linkAtPosition(d->positionAt(point));
}

int StyledLabel::focusedLink() const
{
    return hasFocus() ? d->focusedLink : -1;
}

bool StyledLabel::activateLink(int index)
{
    if (index < 0 || index >= linkCount())
        return false;
    // The handler may replace the text or delete the label.
    const Private::Link link = d->links[std::size_t(index)];
    const QString value = link.attributes.link.value_or(QString());
    QPointer<StyledLabel> self(this);
    Q_EMIT linkActivated(value);
    if (!self)
        return false;
    if (detail::isActionLink(link.attributes))
        return runAction(link.attributes, value);

    const LinkHandler handler = d->localHandler ? d->localHandler : sharedLinkHandler();
    if (handler && handler(value))
        return true;
    // The application's own links mean nothing to the desktop. Links come
    // from servers: of the rest, only web and mail addresses go to the
    // desktop, never files or schemes that start local programs; a host
    // that wants more says so in its handler.
    const QUrl url(value);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid()
        || (scheme != QLatin1String("https") && scheme != QLatin1String("http") && scheme != QLatin1String("mailto")))
        return false;
    return QDesktopServices::openUrl(url);
}

QRectF StyledLabel::attachmentRect(qsizetype position) const
{
    const QPointF origin = d->laidOut();
    const QRectF rect = detail::attachmentRect(d->document, int(std::clamp<qsizetype>(position, -1, INT_MAX)));
    return rect.isNull() ? QRectF() : rect.translated(origin);
}

const QTextDocument *StyledLabel::document() const
{
    d->laidOut();
    return d->document;
}

// ---- Size ----

QSize StyledLabel::sizeHint() const
{
    if (!d->cachedHint) {
        d->layoutFor(-1);
        const QSizeF size = d->document->size();
        d->cachedHint = QSize(int(std::ceil(size.width())), int(std::ceil(size.height())));
    }
    const QMargins margins = contentsMargins();
    return *d->cachedHint + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize StyledLabel::minimumSizeHint() const
{
    if (!d->wordWrap)
        return sizeHint();
    // The widest word, at the height it then needs.
    d->layoutFor(0);
    const int width = int(std::ceil(d->document->idealWidth()));
    const QMargins margins = contentsMargins();
    return QSize(width + margins.left() + margins.right(), heightForWidth(width + margins.left() + margins.right()));
}

bool StyledLabel::hasHeightForWidth() const
{
    return d->wordWrap;
}

int StyledLabel::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    d->layoutFor(d->wordWrap ? std::max(0, width - margins.left() - margins.right()) : -1);
    return int(std::ceil(d->document->size().height())) + margins.top() + margins.bottom();
}

// ---- Painting ----

void StyledLabel::paintContent(QPainter &painter)
{
    // Colours are resolved into the document: make it again when the label
    // is drawn under another appearance or theme than it was built for.
    const DrawingState state = currentDrawingState();
    if (!d->document || d->dirty || state.dark != d->builtState.dark || state.themeRaw != d->builtState.themeRaw)
        d->rebuild();
    const QPointF origin = d->laidOut();

    painter.save();
    painter.translate(origin);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    if (d->textColor)
        context.palette.setColor(QPalette::Text, d->textColor->resolved());
    context.clip = QRectF(rect()).translated(-origin);
    d->document->documentLayout()->draw(&painter, context);
    painter.restore();

    if (hasFocus() && d->focusedLink >= 0 && d->focusedLink < linkCount()) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Color::Theme::borderPrimary()->resolved(), 2));
        painter.setBrush(Qt::NoBrush);
        for (const QRectF &piece : d->rangeRects(d->links[std::size_t(d->focusedLink)].range))
            painter.drawRoundedRect(piece.adjusted(-2, 0, 2, 0), 3, 3);
        painter.restore();
    }
}

// ---- Events ----

bool StyledLabel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int index = linkAt(help->pos());
        if (index >= 0) {
            const TextAttributes &a = d->links[std::size_t(index)].attributes;
            const QString tip = a.link.value_or(QString());
            if (detail::isActionLink(a) && !tip.isEmpty() && tip != kDefaultActionLink) {
                QToolTip::showText(help->globalPos(), tip, this);
                return true;
            }
        }
    } else if (event->type() == AppearanceChangeEvent::eventType() || event->type() == ThemeChangeEvent::eventType()) {
        d->dirty = true;
    } else if (event->type() == QEvent::ContentsRectChange) {
        d->placeViews();
    }
    return View::event(event);
}

void StyledLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        d->dirty = true;
        d->textLayoutChanged();
    }
    View::changeEvent(event);
}

void StyledLabel::showEvent(QShowEvent *event)
{
    View::showEvent(event);
    d->placeViews();
}

void StyledLabel::resizeEvent(QResizeEvent *event)
{
    View::resizeEvent(event);
    d->placeViews();
}

void StyledLabel::mouseMoveEvent(QMouseEvent *event)
{
    QPointer<StyledLabel> self(this);
    View::mouseMoveEvent(event);
    if (!self)
        return;
    const int position = d->positionAt(event->position());
    const TextAttributes a = position >= 0 ? d->text.attributesAt(position) : TextAttributes();
    if (a.cursor)
        setCursor(*a.cursor);
    else if (isLinkRun(a))
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void StyledLabel::mousePressEvent(QMouseEvent *event)
{
    const int index = event->button() == Qt::LeftButton ? linkAt(event->position()) : -1;
    d->pressedLink = index;
    QPointer<StyledLabel> self(this);
    View::mousePressEvent(event);
    // Keep the release coming to the label.
    if (self && index >= 0)
        event->accept();
}

void StyledLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const int pressed = d->pressedLink;
    const bool left = event->button() == Qt::LeftButton;
    if (left)
        d->pressedLink = -1;
    const int index = left && pressed >= 0 ? linkAt(event->position()) : -1;
    QPointer<StyledLabel> self(this);
    View::mouseReleaseEvent(event);
    if (self && index >= 0 && index == pressed) {
        event->accept();
        activateLink(index);
    }
}

void StyledLabel::leaveEvent(QEvent *event)
{
    unsetCursor();
    View::leaveEvent(event);
}

void StyledLabel::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool activation = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (activation && modifiers == Qt::NoModifier && hasFocus() && d->focusedLink >= 0
        && d->focusedLink < linkCount()) {
        event->accept();
        activateLink(d->focusedLink);
        return;
    }
    View::keyPressEvent(event);
}

void StyledLabel::focusInEvent(QFocusEvent *event)
{
    if (d->links.empty())
        d->focusedLink = -1;
    else if (event->reason() == Qt::BacktabFocusReason)
        d->focusedLink = linkCount() - 1;
    else if (event->reason() == Qt::TabFocusReason || d->focusedLink < 0)
        d->focusedLink = 0;
    View::focusInEvent(event);
    update();
}

void StyledLabel::focusOutEvent(QFocusEvent *event)
{
    View::focusOutEvent(event);
    update();
}

bool StyledLabel::focusNextPrevChild(bool next)
{
    if (hasFocus() && !d->links.empty()) {
        const int to = d->focusedLink + (next ? 1 : -1);
        if (to >= 0 && to < linkCount()) {
            d->focusedLink = to;
            update();
            return true;
        }
    }
    return View::focusNextPrevChild(next);
}

} // namespace kalvo
