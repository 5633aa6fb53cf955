// Styled text: HTML snippets with every tag the parser knows, shown in
// StyledLabels (colours follow light and dark, links open or run actions,
// inline images and a custom view), the same text on forced light and dark
// cards, and a piece of imported HTML with lists.
#include "gallery_page.h"

#include <kalvo/foundation/typography.h>
#include <kalvo/foundation/view.h>
#include <kalvo/html/htmlimport.h>
#include <kalvo/html/htmlsnippet.h>
#include <kalvo/html/styledlabel.h>
#include <kalvo/platform/bundle.h>
#include <kalvo/theme/appearance.h>
#include <kalvo/theme/image.h>
#include <kalvo/theme/kalvoimage.h>

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>

namespace gallery {

namespace {

using kalvo::Color;
using kalvo::StyledLabel;
using kalvo::StyledText;
using kalvo::TNHTMLAttachments;
using kalvo::TNParseHTMLSnippetImpl;

QLabel *heading(const QString &text)
{
    auto *label = new QLabel(text);
    label->setFont(kalvo::fontWithTypograph(kalvo::Typograph::medium16));
    return label;
}

// The snippet's source, small and muted.
QLabel *source(const QString &snippet)
{
    auto *label = new QLabel(snippet);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setMinimumWidth(420);
    label->setMaximumWidth(420);
    return label;
}

// A small host widget shown inline through "tnview".
class Chip : public kalvo::View
{
public:
    explicit Chip(const QString &title) : m_title(title)
    {
        setBackgroundColor(Color::fillPrimary());
        setCornerRadius(9);
        setFixedSize(58, 18);
    }

protected:
    void paintContent(QPainter &painter) override
    {
        QFont font = kalvo::fontWithTypograph(kalvo::Typograph::semibold12);
        font.setPixelSize(11);
        painter.setFont(font);
        painter.setPen(Qt::white); // on the primary fill in both appearances
        painter.drawText(QRectF(rect()), Qt::AlignCenter, m_title);
    }

private:
    QString m_title;
};

// Receives target/action links and reports link clicks on the page.
class LinkSink : public QObject
{
    Q_OBJECT

public:
    LinkSink(QLabel *status, QObject *parent) : QObject(parent), m_status(status) {}

    Q_INVOKABLE void linkClicked(const QString &link) { show(QStringLiteral("Action ran with \"%1\"").arg(link)); }
    Q_INVOKABLE void ping() { show(QStringLiteral("Action ran without argument")); }

    void show(const QString &text)
    {
        if (m_status)
            m_status->setText(text);
    }

private:
    QPointer<QLabel> m_status;
};

kalvo::ImagePtr dotImage()
{
    return kalvo::Image::tnImageWithSize(QSizeF(14, 14), [](QPainter &painter, const QRectF &rect) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Color::fillPrimary()->resolved());
        painter.drawEllipse(rect.adjusted(1, 1, -1, -1));
    });
}

// "img src=name" finds images in the host's bundles: the gallery writes a
// light and a dark badge into a bundle directory of its own.
void registerNamedImages()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QString directory = QDir::temp().filePath(QStringLiteral("kalvo-gallery-images"));
    QDir().mkpath(directory);
    for (const bool dark : {false, true}) {
        QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(dark ? QColor(0xF5, 0xB7, 0x3B) : QColor(0x1F, 0x7A, 0x3A));
        painter.drawRoundedRect(QRectF(1, 1, 14, 14), 4, 4);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(5, 5, 6, 6));
        painter.end();
        image.save(QDir(directory).filePath(dark ? QStringLiteral("gallery-badge_dark@2x.png")
                                                 : QStringLiteral("gallery-badge@2x.png")));
    }
    kalvo::Image::registerResBundle(kalvo::Bundle::fromDirectory(directory));
}

StyledLabel *snippetLabel(const QString &snippet, const TNHTMLAttachments &attachments, LinkSink *sink,
                          int wrapWidth = 0)
{
    auto *label = new StyledLabel(TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, attachments));
    label->setLocalLinkHandler([sink](const QString &link) {
        sink->show(QStringLiteral("Opened %1").arg(link));
        return true;
    });
    if (wrapWidth > 0) {
        label->setWordWrap(true);
        label->setFixedWidth(wrapWidth);
    }
    return label;
}

// A rounded card that forces its appearance, so light and dark sit side by
// side whatever the page's look.
class Card : public kalvo::View
{
public:
    explicit Card(const std::shared_ptr<kalvo::TNAppearance> &appearance)
    {
        kalvo::setTnAppearance(this, appearance);
        setBackgroundColor(Color::backgroundNeutral());
        setCornerRadius(10);
    }
};

} // namespace

QWidget *createStyledTextPage(const Look &)
{
    registerNamedImages();

    auto *page = new QWidget;
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(24, 20, 24, 24);
    column->setSpacing(10);

    auto *status = new QLabel(QStringLiteral("Click a link: what it does shows here."));
    status->setForegroundRole(QPalette::PlaceholderText);
    auto *sink = new LinkSink(status, page);

    column->addWidget(heading(QStringLiteral("HTML snippets")));
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(12);
    int row = 0;
    const auto add = [&](const QString &snippet, const TNHTMLAttachments &attachments = {}, int wrapWidth = 0) {
        grid->addWidget(source(snippet), row, 0, Qt::AlignTop);
        grid->addWidget(snippetLabel(snippet, attachments, sink, wrapWidth), row, 1, Qt::AlignLeft | Qt::AlignTop);
        ++row;
    };

    add(QStringLiteral("Plain, <b>bold</b>, <i>italic</i>, <u>underlined</u> and <b><i>bold italic</i></b>."));
    add(QStringLiteral("<font size=20>Size 20</font>, <font size=11>size 11</font> and <b><font size=16>bold "
                       "inherited at 16</font></b>"));
    add(QStringLiteral("<font color=#D93025>red</font>, <font color=#0C63CE,0.5>half-transparent blue</font>, "
                       "<font color=#1F7A3A darkcolor=#7EE2A8>green, lighter in dark</font>"));
    add(QStringLiteral("Line one<br>line two<br/>line three"));
    add(QStringLiteral("Read <a href='https://example.org/docs'>the docs</a> or open "
                       "<a href='TN://settings'>settings</a> (an application link)."));
    {
        TNHTMLAttachments attachments{{QStringLiteral("sink"), QVariant::fromValue<QObject *>(sink)}};
        add(QStringLiteral("<a target='sink' action='linkClicked:' toolTip='Runs an action'>Target/action "
                           "link</a> and <a target='sink' action='ping'>one without tool tip</a>"),
            attachments);
    }
    {
        TNHTMLAttachments attachments{{QStringLiteral("dot"), QVariant::fromValue(dotImage())}};
        add(QStringLiteral("Named image <img src='gallery-badge'>, by key <img imageKey='dot'> and "
                           "lowered <img imageKey='dot' offset='(0,-4)'>, raised <img imageKey='dot' offset='(0,5)'>"),
            attachments);
    }
    {
        TNHTMLAttachments attachments{
            {QStringLiteral("chip"), QVariant::fromValue<QObject *>(new Chip(QStringLiteral("Host")))},
            {QStringLiteral("chip2"), QVariant::fromValue<QObject *>(new Chip(QStringLiteral("Offset")))}};
        add(QStringLiteral("A custom view <tnview key='chip'> aligned to the line, and "
                           "<tnview key='chip2' offset='(0,-2)'> with its own offset."),
            attachments);
    }
    add(QStringLiteral("Entities: a &lt;b&gt; &amp; &quot;quoted&quot;; <B>upper case</B> stays text; "
                       "<b>unclosed bold runs to the end"));
    add(QStringLiteral("<font size=14>Wrapped:</font> a longer message that wraps inside a narrow label, with "
                       "<a href='https://example.org'>a link</a> and <b>bold words</b> to show how runs "
                       "continue across lines."),
        {}, 300);
    grid->setColumnStretch(2, 1);
    column->addLayout(grid);
    column->addWidget(status);

    // ---- Light and dark side by side ----
    column->addSpacing(6);
    column->addWidget(heading(QStringLiteral("Light and dark")));
    {
        auto *cards = new QHBoxLayout;
        cards->setSpacing(16);
        const QString snippet = QStringLiteral(
            "<b>Meeting</b> starts at <font color=#D93025 darkcolor=#FF8A80>10:30</font> — "
            "<a href='https://example.org/join'>join</a>");
        for (const auto &appearance : {kalvo::TNAppearance::light(), kalvo::TNAppearance::dark()}) {
            auto *card = new Card(appearance);
            auto *layout = new QHBoxLayout(card);
            layout->setContentsMargins(14, 10, 14, 10);
            layout->addWidget(snippetLabel(snippet, {}, sink));
            cards->addWidget(card);
        }
        cards->addStretch(1);
        column->addLayout(cards);
    }

    // ---- Imported HTML ----
    column->addSpacing(6);
    column->addWidget(heading(QStringLiteral("Imported HTML (normalised to 12 px, lists as text)")));
    {
        const QString html = QStringLiteral(
            "<h2>Release notes</h2><p>This build brings <b>faster</b> joins and <i>quieter</i> notifications. "
            "See <a href='https://example.org/notes'>the full notes</a>.</p>"
            "<ul><li>Screen sharing keeps its window</li><li>Chat:<ul><li>threads</li><li>reactions</li></ul></li>"
            "</ul><ol><li>Update</li><li>Restart</li></ol>");
        kalvo::TNHTMLStringAdjustment adjustment = kalvo::TNHTMLStringAdjustment::defaultAdjustment();
        adjustment.paragraphSpacing = 4;
        adjustment.shouldRemoveLastNewlineCharacter = true;
        auto *label = new StyledLabel(kalvo::loadHTMLWithAdjustment(html, adjustment));
        label->setWordWrap(true);
        label->setFixedWidth(420);
        label->setLocalLinkHandler([sink](const QString &link) {
            sink->show(QStringLiteral("Opened %1").arg(link));
            return true;
        });
        column->addWidget(label);
    }

    column->addStretch(1);
    return page;
}

} // namespace gallery

#include "styled_text_page.moc"
