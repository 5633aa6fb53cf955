// A label that shows styled text: colours that follow light and dark, links
// that open through a host-settable handler, target/action links, and
// inline images and host widgets.
//
//   auto *label = new kalvo::StyledLabel(parseHTMLSnippet(u"Read <a href='tn://help'>the help</a>"_s));
//   kalvo::StyledLabel::setLinkHandler([](const QString &link) { return router.open(link); });
//
// Links: a left click on a link (press and release over the same link)
// activates it. A target/action link invokes its action on its target
// (with the link as argument when the action ends in ":"). Any other link
// goes to the label's own handler, else the shared handler; when neither
// takes it (none set, or it answered false) the desktop opens it if it is a
// web or mail address (http, https, mailto). Links come from servers, so
// files and other schemes (which may start local programs) open only
// through a handler, as do the application's "tn://" links. The pointer becomes a
// pointing hand over links (or the cursor a run asks for), and a
// target/action link shows its tool tip.
//
// Keyboard: a label with links takes Tab focus; Tab and Shift+Tab move from
// link to link before leaving the label, Return, Enter and Space activate
// the focused link, which wears a focus ring.
//
// Inline host widgets are moved into the label and kept over their cells.
// Accessibility: the label reads as its plain text; each link is a child
// element (a button when its run has the button role, else a link) that
// can be pressed.
//
// Main thread only.
#pragma once

#include <kalvo/foundation/view.h>
#include <kalvo/html/styledtext.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTextDocument;

namespace kalvo {

class KALVO_EXPORT StyledLabel : public View
{
    Q_OBJECT

public:
    // Answers whether it opened the link.
    using LinkHandler = std::function<bool(const QString &link)>;

    explicit StyledLabel(QWidget *parent = nullptr);
    explicit StyledLabel(const StyledText &text, QWidget *parent = nullptr);
    ~StyledLabel() override;

    const StyledText &styledText() const;
    void setStyledText(const StyledText &text);
    // The text without attachment characters (also the accessible name).
    QString plainText() const;

    bool wordWrap() const;
    void setWordWrap(bool wrap);
    // Default: left, vertically centred.
    Qt::Alignment alignment() const;
    void setAlignment(Qt::Alignment alignment);
    // The colour of runs that carry none (default: the primary text colour).
    ColorPtr textColor() const;
    void setTextColor(ColorPtr color);

    // The handler every label asks (empty: none).
    static void setLinkHandler(LinkHandler handler);
    static LinkHandler linkHandler();
    // This label's own handler, asked instead of the shared one.
    void setLocalLinkHandler(LinkHandler handler);
    LinkHandler localLinkHandler() const;

    // ---- Links ----
    // The links in text order (consecutive runs of one link count once).
    int linkCount() const;
    TextRange linkRange(int index) const;
    QString linkText(int index) const; // the link value of the run
    // The run's accessibility role ("AXButton" for button-like links).
    QString linkRole(int index) const;
    // The link's piece on each line it covers, in label coordinates.
    std::vector<QRectF> linkRects(int index) const;
    // The link under a point in label coordinates, or -1.
    int linkAt(const QPointF &point) const;
    // The link with keyboard focus, or -1.
    int focusedLink() const;
    // Activates a link as a click would; false for a bad index or when
    // nothing took the link.
    bool activateLink(int index);

    // Where the attachment at `position` of the text is drawn, in label
    // coordinates (empty when none stands there).
    QRectF attachmentRect(qsizetype position) const;

    // The whole-pixel rect a host widget gets for a cell.
    static QRect cellRect(const QRectF &rect);

    // The document as laid out now (colours of the last paint or build).
    const QTextDocument *document() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

Q_SIGNALS:
    // Emitted for every activated link (target/action links included).
    void linkActivated(const QString &link);

protected:
    void paintContent(QPainter &painter) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kalvo
