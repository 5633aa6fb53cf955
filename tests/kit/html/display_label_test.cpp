// StyledLabel: size, pointer and click handling of links, target/action
// links, keyboard activation, inline host widgets, light and dark.
#include <kalvo/html/styledlabel.h>
#include <kalvo/theme/appearance.h>

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QDesktopServices>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QUrl>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

using namespace kalvo;

namespace {

class Receiver : public QObject
{
    Q_OBJECT

public:
    QStringList calls;

    Q_INVOKABLE void open(const QString &link) { calls << QStringLiteral("open ") + link; }
    Q_INVOKABLE void ping() { calls << QStringLiteral("ping"); }

public Q_SLOTS:
    void handleUrl(const QUrl &url) { calls << QStringLiteral("desktop ") + url.toString(); }
};

// "see the docs or ping us": a URL link on "the docs", an action link on
// "ping us".
StyledText sampleText(Receiver *receiver)
{
    StyledText text(QStringLiteral("see the docs or ping us"));
    text.addAttribute(TNLinkAttributeName, QStringLiteral("https://example.org/docs"), {4, 8});
    TextAttributes action;
    action.link = QStringLiteral("Ping the team");
    action.target = QPointer<QObject>(receiver);
    action.action = QStringLiteral("ping");
    text.addAttributes(action, {16, 7});
    return text;
}

// The middle of the character at `position`, in label coordinates (the
// label is aligned top-left without margins, so the document starts at 0,0).
QPointF pointAt(const StyledLabel &label, int position)
{
    const QTextDocument *document = label.document();
    const QTextBlock block = document->findBlock(position);
    const QTextLine line = block.layout()->lineForTextPosition(position - block.position());
    const int in = position - block.position();
    const qreal x = (line.cursorToX(in) + line.cursorToX(in + 1)) / 2;
    return block.layout()->position() + QPointF(x, line.y() + line.height() / 2);
}

void move(QWidget *widget, QPointF at)
{
    QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void click(QWidget *widget, QPointF press, QPointF release)
{
    QMouseEvent down(QEvent::MouseButtonPress, press, widget->mapToGlobal(press), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, release, widget->mapToGlobal(release), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(widget, &up);
}

void key(QWidget *widget, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, code, modifiers);
    QApplication::sendEvent(widget, &press);
}

class StyledLabelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        label = std::make_unique<StyledLabel>(sampleText(&receiver));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->resize(label->sizeHint());
        label->setLocalLinkHandler([this](const QString &link) {
            opened << link;
            return true;
        });
    }
    void TearDown() override { StyledLabel::setLinkHandler({}); }

    Receiver receiver;
    QStringList opened;
    std::unique_ptr<StyledLabel> label;
};

// ---- Size ----

TEST_F(StyledLabelTest, SizeHintsFollowTheText)
{
    const QFontMetricsF metrics(QApplication::font());
    const QSize hint = label->sizeHint();
    EXPECT_NEAR(hint.width(), metrics.horizontalAdvance(label->plainText()), 2);
    EXPECT_NEAR(hint.height(), metrics.height(), 2);
    EXPECT_FALSE(label->hasHeightForWidth());

    label->setWordWrap(true);
    EXPECT_TRUE(label->hasHeightForWidth());
    const int narrow = label->heightForWidth(int(metrics.horizontalAdvance(QStringLiteral("docs or "))));
    EXPECT_GE(narrow, 3 * hint.height() - 3);
    EXPECT_EQ(label->heightForWidth(hint.width() + 20), hint.height());
    EXPECT_LE(label->minimumSizeHint().width(), int(metrics.horizontalAdvance(QStringLiteral("docs"))) + 2);

    label->setContentsMargins(5, 6, 7, 8);
    EXPECT_EQ(label->heightForWidth(hint.width() + 32), hint.height() + 14);

    StyledLabel empty;
    EXPECT_EQ(empty.sizeHint().width(), 0);
}

// ---- Pointer ----

TEST_F(StyledLabelTest, PointingHandOverLinksOnly)
{
    move(label.get(), pointAt(*label, 5));
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    move(label.get(), pointAt(*label, 1));
    EXPECT_EQ(label->cursor().shape(), Qt::ArrowCursor);
    move(label.get(), pointAt(*label, 18));
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    move(label.get(), QPointF(label->width() - 1, label->height() + 30)); // outside the text
    EXPECT_EQ(label->cursor().shape(), Qt::ArrowCursor);

    // A run's own cursor wins, on plain text too.
    StyledText text = label->styledText();
    text.addCursor(Qt::IBeamCursor, {0, 3});
    label->setStyledText(text);
    move(label.get(), pointAt(*label, 1));
    EXPECT_EQ(label->cursor().shape(), Qt::IBeamCursor);
}

TEST_F(StyledLabelTest, ClickOpensTheLinkThroughTheHandler)
{
    EXPECT_EQ(label->linkCount(), 2);
    EXPECT_EQ(label->linkAt(pointAt(*label, 6)), 0);
    EXPECT_EQ(label->linkAt(pointAt(*label, 2)), -1);

    QStringList emitted;
    QObject::connect(label.get(), &StyledLabel::linkActivated, [&](const QString &link) { emitted << link; });
    click(label.get(), pointAt(*label, 5), pointAt(*label, 10));
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://example.org/docs")});
    EXPECT_EQ(emitted, opened);

    // Released off the link: nothing.
    click(label.get(), pointAt(*label, 5), pointAt(*label, 1));
    click(label.get(), pointAt(*label, 1), pointAt(*label, 5));
    EXPECT_EQ(opened.size(), 1);
    EXPECT_TRUE(receiver.calls.isEmpty());
}

TEST_F(StyledLabelTest, TheLabelsHandlerWinsOverTheSharedOne)
{
    QStringList shared;
    StyledLabel::setLinkHandler([&](const QString &link) {
        shared << link;
        return true;
    });
    label->activateLink(0);
    EXPECT_TRUE(shared.isEmpty());
    EXPECT_EQ(opened.size(), 1);

    label->setLocalLinkHandler({});
    EXPECT_TRUE(label->activateLink(0));
    EXPECT_EQ(shared, QStringList{QStringLiteral("https://example.org/docs")});
}

TEST_F(StyledLabelTest, UnhandledLinksGoToTheDesktopExceptApplicationLinks)
{
    Receiver desktop;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &desktop, "handleUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("tn"), &desktop, "handleUrl");
    label->setLocalLinkHandler([](const QString &) { return false; });

    EXPECT_TRUE(label->activateLink(0));
    StyledText text(QStringLiteral("settings"));
    text.addAttribute(TNLinkAttributeName, QStringLiteral("TN://settings"), {0, 8});
    label->setStyledText(text);
    EXPECT_FALSE(label->activateLink(0));
    label->setLocalLinkHandler({});
    EXPECT_FALSE(label->activateLink(0)); // no handler at all: still not the desktop's

    // Server-sent links to files or to schemes of local programs are not
    // handed to the desktop.
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "handleUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("ssh"), &desktop, "handleUrl");
    for (const QString &link : {QStringLiteral("file:///usr/bin/xterm"), QStringLiteral("ssh://host"),
                                QStringLiteral("/etc/passwd"), QStringLiteral("javascript:alert(1)")}) {
        StyledText other(QStringLiteral("x"));
        other.addAttribute(TNLinkAttributeName, link, {0, 1});
        label->setStyledText(other);
        EXPECT_FALSE(label->activateLink(0)) << qPrintable(link);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("ssh"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("tn"));
    EXPECT_EQ(desktop.calls, QStringList{QStringLiteral("desktop https://example.org/docs")});
}

TEST_F(StyledLabelTest, ActionLinksInvokeTheirTargetAndShowNoURL)
{
    click(label.get(), pointAt(*label, 17), pointAt(*label, 20));
    EXPECT_EQ(receiver.calls, QStringList{QStringLiteral("ping")});
    EXPECT_TRUE(opened.isEmpty()); // no handler for actions

    // "open:" takes the link as its argument.
    StyledText text(QStringLiteral("x"));
    TextAttributes action;
    action.link = QStringLiteral("TN://DEFAULT");
    action.target = QPointer<QObject>(&receiver);
    action.action = QStringLiteral("open:");
    text.addAttributes(action, {0, 1});
    label->setStyledText(text);
    EXPECT_TRUE(label->activateLink(0));
    EXPECT_EQ(receiver.calls.last(), QStringLiteral("open TN://DEFAULT"));

    // Unknown actions and targets that are gone fail quietly.
    action.action = QStringLiteral("noSuchMethod");
    text.addAttributes(action, {0, 1});
    label->setStyledText(text);
    EXPECT_FALSE(label->activateLink(0));
    {
        auto gone = std::make_unique<Receiver>();
        action.action = QStringLiteral("ping");
        action.target = QPointer<QObject>(gone.get());
        text.addAttributes(action, {0, 1});
        label->setStyledText(text);
    }
    EXPECT_FALSE(label->activateLink(0));
    EXPECT_FALSE(label->activateLink(5));
    EXPECT_EQ(receiver.calls.size(), 2);
}

// ---- Keyboard ----

TEST_F(StyledLabelTest, TabMovesThroughLinksAndReturnActivates)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *before = new QWidget;
    before->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(before);
    StyledLabel *owned = label.release();
    layout->addWidget(owned);
    window.show();
    QApplication::setActiveWindow(&window);

    owned->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(owned->hasFocus());
    EXPECT_EQ(owned->focusedLink(), 0);
    key(owned, Qt::Key_Return);
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://example.org/docs")});

    key(owned, Qt::Key_Tab);
    EXPECT_TRUE(owned->hasFocus());
    EXPECT_EQ(owned->focusedLink(), 1);
    key(owned, Qt::Key_Space);
    EXPECT_EQ(receiver.calls, QStringList{QStringLiteral("ping")});
    key(owned, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(owned->focusedLink(), 0);

    // Past the last link the focus leaves the label.
    key(owned, Qt::Key_Tab);
    key(owned, Qt::Key_Tab);
    EXPECT_FALSE(owned->hasFocus());

    // A label without links takes no focus.
    owned->setStyledText(StyledText(QStringLiteral("plain")));
    EXPECT_EQ(owned->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(owned->focusedLink(), -1);
}

// ---- Attachments, accessibility, appearance ----

TEST_F(StyledLabelTest, InlineViewsMoveIntoTheLabelOverTheirCells)
{
    auto *view = new QWidget;
    view->setFixedSize(30, 14);
    StyledText text(QStringLiteral("a "));
    const auto attachment = TextAttachment::viewAttachment(view);
    attachment->setBaselineOffset({0, -2});
    text.append(StyledText::attachmentString(attachment));
    text.append(QStringLiteral(" b"));
    label->setStyledText(text);
    label->resize(label->sizeHint());

    EXPECT_EQ(view->parentWidget(), label.get());
    const QRectF cell = label->attachmentRect(2);
    EXPECT_EQ(cell.size(), QSizeF(30, 14));
    EXPECT_EQ(view->geometry(), StyledLabel::cellRect(cell));
    EXPECT_GE(label->sizeHint().height(), 14);

    // Moving with the layout: centred in a taller label.
    label->show();
    label->setAlignment(Qt::AlignCenter);
    label->resize(label->sizeHint() + QSize(40, 40));
    EXPECT_EQ(view->geometry(), StyledLabel::cellRect(label->attachmentRect(2)));
    EXPECT_GT(view->y(), 10);

    // Replaced text: the widget stays a child, hidden.
    label->setStyledText(StyledText(QStringLiteral("none")));
    EXPECT_EQ(view->parentWidget(), label.get());
    EXPECT_TRUE(view->isHidden());
}

TEST_F(StyledLabelTest, ColoursFollowTheLabelsAppearance)
{
    QFont big = QApplication::font();
    big.setPixelSize(40);
    big.setWeight(QFont::Black);
    StyledText text(QStringLiteral("MM"));
    text.addFont(big, {0, 2});
    text.addForegroundColor(Color::color(0xFF0000, 0x00FF00), {0, 2});
    label->setStyledText(text);
    label->resize(label->sizeHint());

    const auto count = [&](bool red) {
        const QImage image = label->grab().toImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                n += red ? (c.red() > 200 && c.green() < 60) : (c.green() > 200 && c.red() < 60);
            }
        }
        return n;
    };
    setTnAppearance(label.get(), TNAppearance::light());
    EXPECT_GT(count(true), 20);
    EXPECT_EQ(count(false), 0);
    setTnAppearance(label.get(), TNAppearance::dark());
    EXPECT_GT(count(false), 20);
    EXPECT_EQ(count(true), 0);
}


TEST_F(StyledLabelTest, AccessibleLinksAreButtonsOrLinksThatCanBePressed)
{
    StyledText text = label->styledText();
    text.addAttribute(TNAXRole, TNAXButtonRole, {16, 7});
    label->setStyledText(text);

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(label.get());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("see the docs or ping us"));
    ASSERT_EQ(iface->childCount(), 2);
    QAccessibleInterface *docs = iface->child(0);
    QAccessibleInterface *ping = iface->child(1);
    ASSERT_TRUE(docs && ping);
    EXPECT_EQ(docs->role(), QAccessible::Link);
    EXPECT_EQ(docs->text(QAccessible::Name), QStringLiteral("the docs"));
    EXPECT_EQ(docs->text(QAccessible::Description), QStringLiteral("https://example.org/docs"));
    EXPECT_EQ(ping->role(), QAccessible::Button);
    EXPECT_EQ(iface->indexOfChild(ping), 1);

    ping->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(receiver.calls, QStringList{QStringLiteral("ping")});

    // Fewer links later: the old element reports itself invalid.
    label->setStyledText(StyledText(QStringLiteral("plain")));
    EXPECT_FALSE(ping->isValid());
    EXPECT_EQ(iface->childCount(), 0);
}

TEST_F(StyledLabelTest, ActionLinksShowTheirToolTip)
{
    label->show();
    const QPoint at = pointAt(*label, 18).toPoint();
    QHelpEvent help(QEvent::ToolTip, at, label->mapToGlobal(at));
    QApplication::sendEvent(label.get(), &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Ping the team"));
    QToolTip::hideText();
}

} // namespace

#include "display_label_test.moc"
