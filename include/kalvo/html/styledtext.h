// Styled text: a string with attribute runs, what HTML snippets and imported
// HTML turn into and what StyledLabel shows.
//
//   StyledText text(u"Open the settings"_s);
//   text.addAttribute(TNLinkAttributeName, u"tn://settings"_s, {5, 12});
//   text.addForegroundColor(Color::color(0x0C63CE, 0x4F9AF7), {5, 12});
//   label->setStyledText(text);
//
// Attributes are set over ranges (UTF-16 positions of text()); a later
// addition overrides an earlier one where they overlap, attribute by
// attribute. Colours stay `Color` objects and resolve when the text is drawn,
// so the same styled text follows light and dark.
#pragma once

#include <kalvo/global.h>
#include <kalvo/theme/color.h>
#include <kalvo/theme/image.h>

#include <QFont>
#include <QPointF>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QVariant>
#include <QWidget> // QPointer<QWidget> below needs the complete type

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QObject;
class QTextDocument;

namespace kalvo {

namespace html_detail {
class RunBuilder;
}

// Named attributes of links and actions.
KALVO_EXPORT extern const QString TNLinkAttributeName; // "TNLinkAttributeName": the link (QString)
KALVO_EXPORT extern const QString TNTarget;            // "TNTarget": the object an action runs on
KALVO_EXPORT extern const QString TNAction;            // "TNAction": the action's name (QString)
KALVO_EXPORT extern const QString TNAXRole;            // "TNAXRole": accessibility role (QString)

// The accessibility button role a link gets when it acts like a button.
KALVO_EXPORT extern const QString TNAXButtonRole; // "AXButton"

// The character an attachment stands on (U+FFFC, as in rich text everywhere).
inline constexpr char16_t kAttachmentCharacter = 0xFFFC;

struct KALVO_EXPORT TextRange
{
    qsizetype location = 0;
    qsizetype length = 0;

    qsizetype end() const { return location + length; }
    bool isEmpty() const { return length <= 0; }
    bool contains(qsizetype index) const { return index >= location && index < end(); }
    friend bool operator==(const TextRange &, const TextRange &) = default;
};

// An inline object inside the text: an image or a host widget, standing on
// one attachment character. The cell is as large as the object; the baseline
// offset moves it relative to the line's baseline (y up, as the text system
// measures it: a negative y lowers it).
class KALVO_EXPORT TextAttachment
{
public:
    enum class Kind { Image, View };

    static std::shared_ptr<TextAttachment> imageAttachment(ImagePtr image);
    static std::shared_ptr<TextAttachment> viewAttachment(QWidget *view);

    Kind kind() const { return m_kind; }
    const ImagePtr &image() const { return m_image; }
    QWidget *view() const { return m_view.data(); }

    // The object's size (the image's size, or the view's size hint when it has
    // no size yet).
    QSizeF cellSize() const;

    bool hasBaselineOffset() const { return m_baselineOffset.has_value(); }
    QPointF baselineOffset() const { return m_baselineOffset.value_or(QPointF()); }
    void setBaselineOffset(QPointF offset) { m_baselineOffset = offset; }
    void clearBaselineOffset() { m_baselineOffset.reset(); }

private:
    TextAttachment(Kind kind, ImagePtr image, QWidget *view);

    Kind m_kind;
    ImagePtr m_image;
    QPointer<QWidget> m_view;
    std::optional<QPointF> m_baselineOffset;
};
using TextAttachmentPtr = std::shared_ptr<TextAttachment>;

// Underline styles (the single style is what snippets use).
enum class UnderlineStyle : int { None = 0, Single = 1, Thick = 2, Double = 9 };

// The attributes of one run. Unset fields are absent; `others` holds any
// other named attribute a host adds.
struct KALVO_EXPORT TextAttributes
{
    ColorPtr foregroundColor;
    std::optional<QFont> font;
    std::optional<UnderlineStyle> underline;
    std::optional<Qt::CursorShape> cursor;
    TextAttachmentPtr attachment;
    std::optional<QString> link;        // TNLinkAttributeName
    std::optional<QPointer<QObject>> target; // TNTarget (held weakly)
    std::optional<QString> action;      // TNAction
    std::optional<QString> axRole;      // TNAXRole
    // Paragraph attributes (imported HTML): the indent of a paragraph's lines
    // after its first, and the space after it. A paragraph takes the values
    // of its first character.
    std::optional<qreal> headIndent;
    std::optional<qreal> paragraphSpacing;
    std::map<QString, QVariant> others;

    // Provided, so that value-initialisation (emplace_back()) does not zero
    // the whole object before constructing its members.
    TextAttributes() { }
    TextAttributes(const TextAttributes &) = default;
    TextAttributes &operator=(const TextAttributes &) = default;
    // QFont's move does not say noexcept although it cannot throw; saying it
    // here lets run vectors move their runs instead of copying them.
    TextAttributes(TextAttributes &&) noexcept = default;
    TextAttributes &operator=(TextAttributes &&) noexcept = default;

    bool isEmpty() const;
    // Sets every field that `over` sets.
    void merge(const TextAttributes &over);
    friend KALVO_EXPORT bool operator==(const TextAttributes &, const TextAttributes &);
};

// One run: a maximal range with the same attributes.
struct StyledRun
{
    TextRange range;
    TextAttributes attributes;
};

class KALVO_EXPORT StyledText
{
public:
    StyledText() = default;
    explicit StyledText(const QString &text, const TextAttributes &attributes = {});
    // One attachment character carrying `attachment`.
    static StyledText attachmentString(const TextAttachmentPtr &attachment);

    const QString &text() const { return m_text; }
    qsizetype length() const { return m_text.size(); }
    bool isEmpty() const { return m_text.isEmpty(); }

    void append(const QString &text, const TextAttributes &attributes = {});
    void append(const StyledText &other);
    // Removes the characters of `range` (clamped) with their attributes.
    void remove(TextRange range);
    // Replaces the characters of `range` (clamped) by `text`, which takes the
    // attributes of the range's first character.
    void replace(TextRange range, const QString &text);

    // Ranges outside the text are clamped; empty ranges do nothing.
    void addAttributes(const TextAttributes &attributes, TextRange range);
    void setAttributes(const TextAttributes &attributes, TextRange range); // replaces all
    void addForegroundColor(const ColorPtr &color, TextRange range);
    void addFont(const QFont &font, TextRange range);
    void addUnderline(UnderlineStyle style, TextRange range);
    void addCursor(Qt::CursorShape cursor, TextRange range);
    // By name: the four named attributes above, or any other name (stored in
    // `others`). Target values are QObject pointers.
    void addAttribute(const QString &name, const QVariant &value, TextRange range);
    void removeAttribute(const QString &name, TextRange range);

    // The attributes at `index` (empty outside the text); `effective`
    // receives the run's range.
    TextAttributes attributesAt(qsizetype index, TextRange *effective = nullptr) const;
    QVariant attribute(const QString &name, qsizetype index, TextRange *effective = nullptr) const;

    // The runs in order, covering the text without gaps; adjacent runs differ.
    std::vector<StyledRun> runs() const;

    // Every attachment with its character's position.
    std::vector<std::pair<qsizetype, TextAttachmentPtr>> attachments() const;

    // A QTextDocument showing the text, colours resolved now (call it while
    // the drawing appearance is current, e.g. inside View::paintContent).
    // Link ranges carry anchors; attachments become inline objects drawn by
    // the document's layout. The caller owns the document.
    QTextDocument *toTextDocument(QObject *parent = nullptr) const;

    friend KALVO_EXPORT bool operator==(const StyledText &, const StyledText &);

private:
    // Builds the runs of a whole parsed snippet in one sweep.
    friend class html_detail::RunBuilder;

    // A run as stored: its range and the index of its attributes in
    // m_attributes, or -1 for none. Runs may refer to one entry (a split
    // leaves both halves on it, a snippet's ranges become entries that
    // their runs refer to); entries are never changed in place once a run
    // refers to them, an edit stores the changed copy, so the sharing is
    // never seen from outside. A run's entry is never empty.
    struct Span
    {
        TextRange range;
        qsizetype attributes = -1;
    };

    const TextAttributes &attributesOf(const Span &span) const;
    bool sameAttributes(const Span &a, const Span &b) const;
    // The index for `attributes` (-1 when empty), stored as a new entry.
    qsizetype store(TextAttributes &&attributes);
    std::size_t spanIndexAt(qsizetype position) const;
    std::size_t splitAt(qsizetype position);
    void mergeAround(std::size_t first, std::size_t last);
    template<typename Change> void editRange(TextRange range, Change &&change);
    // Drops the entries no run refers to once they outnumber the runs.
    void compactAttributes();
    void normalize();

    QString m_text;
    std::vector<Span> m_runs; // sorted, covering m_text
    std::vector<TextAttributes> m_attributes;
};

} // namespace kalvo
