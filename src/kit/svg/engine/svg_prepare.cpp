// Preparing document trees (see svg_prepare_p.h): the cascade of style
// sheets and style attributes, then one walk that builds the prepared tree
// with inherited values, composed transforms, plain lengths, copies for
// "use" and resolved gradient chains.
#include "svg_prepare_p.h"

#include <kalvo/svg/svgdrawables.h>
#include <kalvo/theme/color.h>

#include "svg_scanner_p.h"

#include <QColor>
#include <QHash>
#include <QSet>
#include <QTransform>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

namespace kalvo::svg {

QRectF parseViewBox(const QString &text)
{
    Scanner scanner(text);
    double values[4];
    for (double &value : values) {
        scanner.scanThroughWhitespaceCommasAndClosingParenthesis();
        scanner.skipWhitespace();
        if (!scanner.scanDouble(value) || !std::isfinite(value))
            return QRectF();
    }
    return QRectF(values[0], values[1], values[2], values[3]);
}

namespace {

// "use" copies inside "use" copies, and gradient "href" steps, beyond
// which references are not followed.
constexpr int kMaxReferenceDepth = 24;
constexpr double kDefaultFontSize = 16;

// ---- Names ----

// Inherited properties, in the order they are written out.
// The inherited properties by their place in inheritedProperties().
enum InheritedProperty {
    kFill,
    kFillOpacity,
    kFillRule,
    kStroke,
    kStrokeOpacity,
    kStrokeWidth,
    kStrokeLinecap,
    kStrokeLinejoin,
    kStrokeMiterlimit,
    kStrokeDasharray,
    kStrokeDashoffset,
    kColor,
    kVisibility,
    kClipRule,
    kFontSize,
};

// What a property not given reads as (constant-initialised: no guard).
const QString kNoValue;

const QStringList &inheritedProperties()
{
    static const QStringList names{
        QStringLiteral("fill"),           QStringLiteral("fill-opacity"),     QStringLiteral("fill-rule"),
        QStringLiteral("stroke"),         QStringLiteral("stroke-opacity"),   QStringLiteral("stroke-width"),
        QStringLiteral("stroke-linecap"), QStringLiteral("stroke-linejoin"),  QStringLiteral("stroke-miterlimit"),
        QStringLiteral("stroke-dasharray"), QStringLiteral("stroke-dashoffset"), QStringLiteral("color"),
        QStringLiteral("visibility"),     QStringLiteral("clip-rule"),        QStringLiteral("font-size"),
    };
    return names;
}

// Other attributes the preparation reads on every drawn element, after
// the inherited properties in an AttributeSlots.
enum CommonAttribute {
    kId = kFontSize + 1,
    kOpacity,
    kDisplay,
    kTransform,
    kClipPath,
    kMask,
    kSlotCount,
};

// The place of `key` in an AttributeSlots, -1 for other names: by its
// length first, so most attribute names cost one comparison at most.
int attributeSlot(const QString &key)
{
    // `key` has the length of `name` here: compared in place, as this
    // runs for every attribute of every element.
    auto is = [&](const char *name, int slot) {
        const QChar *at = key.constData();
        for (qsizetype i = 0; i < key.size(); ++i) {
            if (at[i].unicode() != uchar(name[i]))
                return -1;
        }
        return slot;
    };
    switch (key.size()) {
    case 2:
        return is("id", kId);
    case 4:
        return key.front() == QLatin1Char('f') ? is("fill", kFill) : is("mask", kMask);
    case 5:
        return is("color", kColor);
    case 6:
        return is("stroke", kStroke);
    case 7:
        return key.front() == QLatin1Char('o') ? is("opacity", kOpacity) : is("display", kDisplay);
    case 9:
        switch (key.front().unicode()) {
        case 'f':
            return key.at(1) == QLatin1Char('i') ? is("fill-rule", kFillRule) : is("font-size", kFontSize);
        case 'c':
            return key.at(5) == QLatin1Char('r') ? is("clip-rule", kClipRule) : is("clip-path", kClipPath);
        default:
            return is("transform", kTransform);
        }
    case 10:
        return is("visibility", kVisibility);
    case 12:
        return key.front() == QLatin1Char('f') ? is("fill-opacity", kFillOpacity) : is("stroke-width", kStrokeWidth);
    case 14:
        return key.at(7) == QLatin1Char('o') ? is("stroke-opacity", kStrokeOpacity)
                                             : is("stroke-linecap", kStrokeLinecap);
    case 15:
        return is("stroke-linejoin", kStrokeLinejoin);
    case 16:
        return is("stroke-dasharray", kStrokeDasharray);
    case 17:
        return key.at(7) == QLatin1Char('m') ? is("stroke-miterlimit", kStrokeMiterlimit)
                                             : is("stroke-dashoffset", kStrokeDashoffset);
    default:
        return -1;
    }
}

// The values of the attributes an element is prepared from, found in one
// pass over them instead of a lookup by name each (null: not given).
struct AttributeSlots
{
    const QString *values[kSlotCount] = {};
    bool anyInherited = false; // whether any inherited property is given

    explicit AttributeSlots(const KTNSVGAttributes &attributes)
    {
        for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
            if (const int slot = attributeSlot(it.key()); slot >= 0) {
                values[slot] = &it.value();
                anyInherited = anyInherited || slot <= kFontSize;
            }
        }
    }
    // The value as attribute.value(name) gives it.
    const QString &operator[](int slot) const
    {
        static const QString none;
        return values[slot] ? *values[slot] : none;
    }
};

// Properties a style sheet or style attribute may set.
const QSet<QString> &styleProperties()
{
    static const QSet<QString> names = [] {
        QSet<QString> set(inheritedProperties().begin(), inheritedProperties().end());
        for (const char *name : {"opacity", "stop-color", "stop-opacity", "clip-path", "mask", "display",
                                 "overflow", "transform", "mask-type"})
            set.insert(QLatin1String(name));
        return set;
    }();
    return names;
}

// The styleProperties() entry equal to `name`, null for other names: by
// length first, without building a string to look up.
const QString *styleProperty(QStringView name)
{
    struct Entry
    {
        qsizetype size;
        const QString *name;
    };
    static const std::vector<Entry> entries = [] {
        std::vector<Entry> list;
        for (const QString &property : styleProperties())
            list.push_back({property.size(), &property});
        return list;
    }();
    for (const Entry &entry : entries) {
        if (entry.size == name.size() && *entry.name == name)
            return entry.name;
    }
    return nullptr;
}

const QString &groupName()
{
    static const QString name = QStringLiteral("g");
    return name;
}

bool isShapeName(const QString &name)
{
    switch (name.size()) {
    case 4:
        return name == QLatin1String("path") || name == QLatin1String("rect") || name == QLatin1String("line");
    case 6:
        return name == QLatin1String("circle");
    case 7:
        return name == QLatin1String("ellipse") || name == QLatin1String("polygon");
    case 8:
        return name == QLatin1String("polyline");
    default:
        return false;
    }
}

bool isGradientName(const QString &name)
{
    return name == QLatin1String("linearGradient") || name == QLatin1String("radialGradient");
}

// What number(value) reads back as: the value the element classes got
// from the text the preparation used to write. Kept for the numbers the
// numeric route does not cover.
double rereadThroughText(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 12);
    const qsizetype size = result.ptr - buffer;
    char16_t wide[32];
    for (qsizetype i = 0; i < size; ++i)
        wide[i] = static_cast<char16_t>(buffer[i]);
    double read = 0;
    return leadingNumber(QStringView(wide, size), read) ? read : 0.0;
}

QString number(double value)
{
    if (!std::isfinite(value))
        value = 0;
    // As printf's "%.12g" (QString::number's 'g' formatting is several
    // times slower and the text is read straight back).
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 12);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace

double roundedToTwelveDigits(double value)
{
    if (!std::isfinite(value))
        return 0;
    // Whole numbers of up to twelve digits are written exactly.
    if (value == std::trunc(value) && std::abs(value) < 1e12)
        return value;
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const double magnitude = std::abs(value);
    // Here magnitude is below 1e12 (larger doubles that are not whole do
    // not exist below 2^52, and those above take the text route). Scaling
    // by 10^k (exact for k <= 22) brings twelve digits before the point.
    if (magnitude >= 1e12 || magnitude < 1e-10)
        return rereadThroughText(value);
    // A first guess of k from the binary exponent, corrected below.
    const int binaryExponent = int((std::bit_cast<quint64>(magnitude) >> 52) & 0x7ff) - 1023;
    int k = 11 - ((binaryExponent * 1233) >> 12);
    k = std::clamp(k, 0, 22);
    double scaled = magnitude * kPowers[k];
    while (scaled < 1e11 && k < 22)
        scaled = magnitude * kPowers[++k];
    while (scaled >= 1e12 && k > 0)
        scaled = magnitude * kPowers[--k];
    // The product's rounding error, exactly: magnitude * 10^k is
    // scaled + error. Round that sum to a whole number, half to even, as
    // the text conversion rounds the exact value.
    const double error = std::fma(magnitude, kPowers[k], -scaled);
    double whole = std::floor(scaled);
    const double fraction = scaled - whole; // exact: both lie within one unit
    if (fraction > 0.5 || (fraction == 0.5 && (error > 0 || (error == 0 && std::fmod(whole, 2.0) != 0))))
        whole += 1;
    // Twelve (or thirteen, for 10^12) digits over a power of ten: one
    // correctly rounded division, as reading the digits back gives.
    const double result = whole / kPowers[k];
    return value < 0 ? -result : result;
}

namespace {

// An opacity as the elements read it: a negative number is no opacity.
double reread(double value)
{
    return roundedToTwelveDigits(value);
}

double rereadOpacity(double value)
{
    const double read = reread(value);
    return read < 0 ? 1.0 : read;
}

// What the elements made of matrixText(t).
QTransform rereadTransform(const QTransform &t)
{
    return QTransform()
        * QTransform(reread(t.m11()), reread(t.m12()), reread(t.m21()), reread(t.m22()), reread(t.dx()),
                     reread(t.dy()));
}

QString matrixText(const QTransform &t)
{
    return QStringLiteral("matrix(%1 %2 %3 %4 %5 %6)")
        .arg(number(t.m11()), number(t.m12()), number(t.m21()), number(t.m22()), number(t.dx()), number(t.dy()));
}

// ---- Colours ----

struct Paint
{
    enum Kind { None, Color, Current, Server } kind = None;
    QColor color;    // Color
    QString server;  // Server: the identifier
    QString fallback; // Server: what paints when the identifier names no gradient ("" none)
    // Color: text the drawable elements read themselves (the library's
    // colour names, "0x" colours and "#rrggbbaa", whose alpha replaces the
    // opacity); written out as it stands.
    QString verbatim;
};

std::optional<double> percentOrNumber(QStringView text, double percentOf)
{
    double value = 0;
    Scanner scanner(text);
    if (!scanner.scanDouble(value))
        return std::nullopt;
    const QStringView rest = scanner.remaining().trimmed();
    if (rest == QLatin1String("%"))
        return value * percentOf / 100.0;
    if (!rest.isEmpty())
        return std::nullopt;
    return value;
}

// A colour in any CSS notation; nothing for text that is not one.
std::optional<QColor> parseColor(QString text)
{
    // The common "#rgb" and "#rrggbb" forms straight from the text.
    if (const QStringView hex = QStringView(text).trimmed(); hex.size() >= 2 && hex.size() <= 9 && hex[0] == u'#') {
        int digits[8];
        bool valid = true;
        for (qsizetype i = 1; i < hex.size() && valid; ++i) {
            const char16_t c = hex[i].unicode();
            if (c >= u'0' && c <= u'9')
                digits[i - 1] = c - u'0';
            else if (c >= u'a' && c <= u'f')
                digits[i - 1] = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                digits[i - 1] = c - u'A' + 10;
            else
                valid = false;
        }
        if (valid) {
            switch (hex.size() - 1) {
            case 3:
                return QColor(digits[0] * 17, digits[1] * 17, digits[2] * 17);
            case 4:
                return QColor(digits[0] * 17, digits[1] * 17, digits[2] * 17, digits[3] * 17);
            case 6:
                return QColor(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5]);
            case 8:
                return QColor(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5],
                              digits[6] * 16 + digits[7]);
            default:
                return std::nullopt;
            }
        }
    }
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const QString lower = text.toLower();
    if (lower.startsWith(QLatin1Char('#'))) {
        const QStringView hex = QStringView(lower).sliced(1);
        for (QChar c : hex) {
            if (!std::isxdigit(c.toLatin1()))
                return std::nullopt;
        }
        // (Every character is a hexadecimal digit by now.)
        auto digit = [&](qsizetype i) {
            const char c = hex[i].toLatin1();
            return c <= '9' ? c - '0' : c - 'a' + 10;
        };
        auto pair = [&](qsizetype i) { return digit(i) * 16 + digit(i + 1); };
        switch (hex.size()) {
        case 3:
            return QColor(digit(0) * 17, digit(1) * 17, digit(2) * 17);
        case 4:
            return QColor(digit(0) * 17, digit(1) * 17, digit(2) * 17, digit(3) * 17);
        case 6:
            return QColor(pair(0), pair(2), pair(4));
        case 8:
            return QColor(pair(0), pair(2), pair(4), pair(6));
        default:
            return std::nullopt;
        }
    }
    const qsizetype open = lower.indexOf(QLatin1Char('('));
    if (open > 0 && lower.endsWith(QLatin1Char(')'))) {
        const QString function = lower.left(open).trimmed();
        QString inner = lower.mid(open + 1, lower.size() - open - 2);
        inner.replace(QLatin1Char('/'), QLatin1Char(','));
        QStringList parts = inner.split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (parts.size() == 1)
            parts = inner.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() < 3 || parts.size() > 4)
            return std::nullopt;
        double alpha = 1.0;
        if (parts.size() == 4) {
            const auto a = percentOrNumber(parts[3].trimmed(), 1.0);
            if (!a)
                return std::nullopt;
            alpha = std::clamp(*a, 0.0, 1.0);
        }
        if (function == QLatin1String("rgb") || function == QLatin1String("rgba")) {
            int channels[3];
            for (int i = 0; i < 3; ++i) {
                const auto v = percentOrNumber(parts[i].trimmed(), 255.0);
                if (!v)
                    return std::nullopt;
                channels[i] = static_cast<int>(std::lround(std::clamp(*v, 0.0, 255.0)));
            }
            QColor color(channels[0], channels[1], channels[2]);
            color.setAlphaF(static_cast<float>(alpha));
            return color;
        }
        if (function == QLatin1String("hsl") || function == QLatin1String("hsla")) {
            const auto h = percentOrNumber(parts[0].trimmed(), 360.0);
            const auto s = percentOrNumber(parts[1].trimmed(), 100.0);
            const auto l = percentOrNumber(parts[2].trimmed(), 100.0);
            if (!h || !s || !l)
                return std::nullopt;
            double hue = std::fmod(*h, 360.0);
            if (hue < 0)
                hue += 360.0;
            QColor color = QColor::fromHslF(static_cast<float>(hue / 360.0),
                                            static_cast<float>(std::clamp(*s / 100.0, 0.0, 1.0)),
                                            static_cast<float>(std::clamp(*l / 100.0, 0.0, 1.0)));
            color.setAlphaF(static_cast<float>(alpha));
            return color.toRgb();
        }
        return std::nullopt;
    }
    if (lower == QLatin1String("transparent"))
        return QColor(0, 0, 0, 0);
    for (QChar c : lower) {
        if (c < QLatin1Char('a') || c > QLatin1Char('z'))
            return std::nullopt;
    }
    const QColor named = QColor::fromString(lower);
    if (!named.isValid())
        return std::nullopt;
    return named;
}

// Colour text the elements' own colour reading handles as the library
// always has: eight hexadecimal digits (alpha last, replacing the fill or
// stroke opacity), "0x" colours and the names of its colour table.
bool keepsVerbatim(const QString &value)
{
    if (value.startsWith(QLatin1String("0x")) || (value.startsWith(QLatin1Char('#')) && value.size() >= 9))
        return true;
    bool letters = !value.isEmpty();
    for (QChar c : value)
        letters = letters && c.isLetter();
    if (!letters || value.compare(QLatin1String("transparent"), Qt::CaseInsensitive) == 0)
        return false;
    // The colour table is fixed: answers are kept per thread (a few names
    // recur in every document; a bounded number of others).
    thread_local QHash<QString, bool> answers;
    if (const auto it = answers.constFind(value); it != answers.constEnd())
        return *it;
    const QColor named = hexTripletWithStr(value);
    const bool kept = named.isValid() && named.alpha() > 0;
    if (answers.size() >= 256)
        answers.clear();
    answers.insert(value, kept);
    return kept;
}

// "#rrggbb" in lower case, as QColor::name() writes it.
// "currentColor" in any case (the length first: the comparison that
// ignores case is slow).
bool isCurrentColor(const QString &text)
{
    return text.size() == 12
        && (text == QLatin1String("currentColor") || text.compare(QLatin1String("currentColor"), Qt::CaseInsensitive) == 0);
}

QString colorText(const QColor &color)
{
    static const char digits[] = "0123456789abcdef";
    char16_t text[7] = {u'#'};
    const int channels[3] = {color.red(), color.green(), color.blue()};
    for (int i = 0; i < 3; ++i) {
        text[1 + 2 * i] = char16_t(digits[(channels[i] >> 4) & 15]);
        text[2 + 2 * i] = char16_t(digits[channels[i] & 15]);
    }
    return QString(reinterpret_cast<const QChar *>(text), 7);
}

// A colour as the elements keep colorText(color).
PreparedPaint colourPaint(const QColor &color)
{
    return PreparedPaint{1, colorText(color), QColor(color.red(), color.green(), color.blue(), 255)};
}

// Colour keywords the elements look up in the (fixed) named-colour table.
const PreparedPaint &keywordPaint(bool current)
{
    static const PreparedPaint currentColor{1, QStringLiteral("currentColor"),
                                            hexColorWithString(QStringLiteral("currentColor"))};
    static const PreparedPaint black{1, QStringLiteral("black"), hexColorWithString(QStringLiteral("black"))};
    return current ? currentColor : black;
}

// ---- Lengths ----

enum class Axis { X, Y, Diagonal };

struct Viewport
{
    double width = 100;
    double height = 100;
    double along(Axis axis) const
    {
        switch (axis) {
        case Axis::X:
            return width;
        case Axis::Y:
            return height;
        case Axis::Diagonal:
            break;
        }
        return std::sqrt((width * width + height * height) / 2.0);
    }
};

// The outermost viewport of the document being prepared (one document
// per thread at a time).
Viewport &rootViewport()
{
    thread_local Viewport viewport;
    return viewport;
}

// A length in user units; nothing for text that does not start with a
// number or has a unit that is not one.
std::optional<double> parseLength(QStringView text, Axis axis, const Viewport &viewport,
                                  double fontSize = kDefaultFontSize)
{
    Scanner scanner(text);
    scanner.skipWhitespace();
    double value = 0;
    if (!scanner.scanDouble(value) || !std::isfinite(value))
        return std::nullopt;
    const QStringView unit = scanner.remaining().trimmed();
    if (unit.isEmpty() || unit == QLatin1String("px"))
        return value;
    if (unit == QLatin1String("%"))
        return value * viewport.along(axis) / 100.0;
    if (unit == QLatin1String("pt"))
        return value * 4.0 / 3.0;
    if (unit == QLatin1String("pc"))
        return value * 16.0;
    if (unit == QLatin1String("mm"))
        return value * 96.0 / 25.4;
    if (unit == QLatin1String("cm"))
        return value * 96.0 / 2.54;
    if (unit == QLatin1String("in"))
        return value * 96.0;
    if (unit == QLatin1String("em"))
        return value * fontSize;
    if (unit == QLatin1String("ex"))
        return value * fontSize / 2.0;
    if (unit == QLatin1String("Q"))
        return value * 96.0 / 25.4 / 4.0;
    // Viewport units: shares of the outermost viewport.
    if (unit == QLatin1String("vw"))
        return value * rootViewport().width / 100.0;
    if (unit == QLatin1String("vh"))
        return value * rootViewport().height / 100.0;
    if (unit == QLatin1String("vmin"))
        return value * std::min(rootViewport().width, rootViewport().height) / 100.0;
    if (unit == QLatin1String("vmax"))
        return value * std::max(rootViewport().width, rootViewport().height) / 100.0;
    // An unknown unit makes the value invalid.
    return std::nullopt;
}

// ---- Style sheets ----

struct SimpleSelector
{
    // What one compound selector asks of an element.
    QString element; // "" or "*": any
    QStringList classes;
    QString id;
    QList<QPair<QString, QString>> attributes; // value "\x01" means: present
    bool firstChild = false;
    bool impossible = false; // a pseudo-class this engine cannot match
    char combinator = ' ';   // towards the previous compound: ' ' descendant, '>' child
};

struct Rule
{
    QList<SimpleSelector> compounds; // leftmost first
    int specificity = 0;
    int order = 0;
    QList<QPair<QString, QString>> declarations;
    QList<bool> important;
};

// Calls found(name, value, important) for each declaration of `text` that
// sets one of styleProperties(), in order; `name` is the table's string.
template<typename Found>
void forEachDeclaration(QStringView text, Found found)
{
    // Declarations are short: the separators are looked for in place.
    auto find = [](QStringView in, char16_t c) -> qsizetype {
        for (qsizetype i = 0; i < in.size(); ++i) {
            if (in[i].unicode() == c)
                return i;
        }
        return -1;
    };
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = find(text.sliced(start), u';');
        end = end < 0 ? text.size() : start + end;
        const QStringView part = text.sliced(start, end - start);
        start = end + 1;
        const qsizetype colon = find(part, u':');
        if (colon <= 0)
            continue;
        const QStringView nameText = part.first(colon).trimmed();
        QStringView value = part.sliced(colon + 1).trimmed();
        bool isImportant = false;
        const qsizetype bang = find(value, u'!');
        if (bang >= 0) {
            isImportant = value.sliced(bang + 1).trimmed().compare(QLatin1String("important"), Qt::CaseInsensitive) == 0;
            value = value.first(bang).trimmed();
        }
        if (nameText.isEmpty() || value.isEmpty())
            continue;
        // Names are nearly always written in lower case already; only
        // the properties of styleProperties() are kept, named by the
        // table's own strings.
        bool lower = true;
        for (QChar c : nameText)
            lower = lower && !c.isUpper();
        const QString *name = lower ? styleProperty(nameText) : styleProperty(nameText.toString().toLower());
        if (!name)
            continue;
        found(*name, value, isImportant);
    }
}

QList<QPair<QString, QString>> parseDeclarations(QStringView text, QList<bool> *important)
{
    QList<QPair<QString, QString>> result;
    forEachDeclaration(text, [&](const QString &name, QStringView value, bool isImportant) {
        result.append({name, value.toString()});
        if (important)
            important->append(isImportant);
    });
    return result;
}

std::optional<SimpleSelector> parseCompound(QStringView text)
{
    SimpleSelector selector;
    qsizetype i = 0;
    auto identifier = [&]() {
        const qsizetype start = i;
        while (i < text.size()
               && (text[i].isLetterOrNumber() || text[i] == QLatin1Char('-') || text[i] == QLatin1Char('_')))
            ++i;
        return text.sliced(start, i - start).toString();
    };
    if (i < text.size() && text[i] == QLatin1Char('*')) {
        ++i;
    } else {
        selector.element = identifier();
    }
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == QLatin1Char('.')) {
            ++i;
            const QString name = identifier();
            if (name.isEmpty())
                return std::nullopt;
            selector.classes.append(name);
        } else if (c == QLatin1Char('#')) {
            ++i;
            selector.id = identifier();
            if (selector.id.isEmpty())
                return std::nullopt;
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = text.indexOf(QLatin1Char(']'), i);
            if (close < 0)
                return std::nullopt;
            const QStringView inner = text.sliced(i + 1, close - i - 1);
            const qsizetype equals = inner.indexOf(QLatin1Char('='));
            if (equals < 0) {
                selector.attributes.append({inner.trimmed().toString(), QStringLiteral("\x01")});
            } else {
                QString value = inner.sliced(equals + 1).trimmed().toString();
                if (value.size() >= 2 && (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\''))))
                    value = value.mid(1, value.size() - 2);
                selector.attributes.append({inner.first(equals).trimmed().toString(), value});
            }
            i = close + 1;
        } else if (c == QLatin1Char(':')) {
            ++i;
            const QString pseudo = identifier();
            if (pseudo == QLatin1String("first-child"))
                selector.firstChild = true;
            else
                selector.impossible = true;
        } else {
            return std::nullopt;
        }
    }
    return selector;
}

// Parses "a b > c.d" into compounds; nothing when any part is not
// understood (the rule is then ignored, as CSS ignores invalid selectors).
std::optional<QList<SimpleSelector>> parseSelector(QStringView text, int &specificity)
{
    QList<SimpleSelector> compounds;
    char combinator = ' ';
    specificity = 0;
    // Compounds are the runs between white space and ">" (a ">" is a
    // combinator of its own, spaces around it or not).
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == QLatin1Char('>')) {
            combinator = '>';
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < text.size() && !text[i].isSpace() && text[i] != QLatin1Char('>'))
            ++i;
        auto compound = parseCompound(text.sliced(start, i - start));
        if (!compound)
            return std::nullopt;
        compound->combinator = combinator;
        combinator = ' ';
        specificity += (compound->id.isEmpty() ? 0 : 10000) + 100 * (compound->classes.size() + compound->attributes.size()
                                                                    + (compound->firstChild ? 1 : 0))
            + (compound->element.isEmpty() ? 0 : 1);
        compounds.append(std::move(*compound));
    }
    if (compounds.isEmpty())
        return std::nullopt;
    return compounds;
}

QList<Rule> parseStyleSheet(const QString &sheet, int &order)
{
    QString text = sheet;
    // Comments and character data markers.
    for (qsizetype start = text.indexOf(QLatin1String("/*")); start >= 0; start = text.indexOf(QLatin1String("/*"), start)) {
        const qsizetype end = text.indexOf(QLatin1String("*/"), start + 2);
        text.remove(start, end < 0 ? text.size() - start : end + 2 - start);
    }
    text.replace(QLatin1String("<![CDATA["), QLatin1String(" ")).replace(QLatin1String("]]>"), QLatin1String(" "));
    QList<Rule> rules;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('{'), i);
        if (open < 0)
            break;
        // A block nested in an at-rule (@media) is skipped with it.
        qsizetype close = open + 1;
        int depth = 1;
        while (close < text.size() && depth > 0) {
            if (text[close] == QLatin1Char('{'))
                ++depth;
            else if (text[close] == QLatin1Char('}'))
                --depth;
            ++close;
        }
        QStringView prelude = QStringView(text).sliced(i, open - i).trimmed();
        // An at-rule without a block ("@import ...;") before the selector.
        while (prelude.startsWith(QLatin1Char('@'))) {
            const qsizetype semicolon = prelude.indexOf(QLatin1Char(';'));
            if (semicolon < 0)
                break;
            prelude = prelude.sliced(semicolon + 1).trimmed();
        }
        const QStringView body = QStringView(text).sliced(open + 1, std::max<qsizetype>(0, close - open - 2));
        i = close;
        if (prelude.startsWith(QLatin1Char('@')))
            continue;
        QList<bool> important;
        const auto declarations = parseDeclarations(body, &important);
        for (QStringView selectorText : prelude.split(QLatin1Char(','))) {
            Rule rule;
            const auto compounds = parseSelector(selectorText.trimmed(), rule.specificity);
            if (!compounds)
                continue;
            rule.compounds = *compounds;
            rule.order = order++;
            rule.declarations = declarations;
            rule.important = important;
            rules.append(rule);
        }
    }
    return rules;
}

struct Ancestor
{
    const KTNSvgElement *element;
    bool firstChild;
    // The element's "id" and "class", looked up once for all the rules.
    QString id;
    QString classes;
};

// Whether `name` is one of the space separated words of `classes`.
bool hasClass(QStringView classes, QStringView name)
{
    qsizetype start = 0;
    while (start <= classes.size()) {
        qsizetype end = classes.indexOf(QLatin1Char(' '), start);
        if (end < 0)
            end = classes.size();
        if (classes.sliced(start, end - start) == name)
            return true;
        start = end + 1;
    }
    return false;
}

bool matchesCompound(const SimpleSelector &selector, const Ancestor &at)
{
    if (selector.impossible)
        return false;
    const KTNSvgElement &element = *at.element;
    if (!selector.element.isEmpty() && selector.element != element.elementName)
        return false;
    if (!selector.id.isEmpty() && at.id != selector.id)
        return false;
    for (const QString &name : selector.classes) {
        if (!hasClass(at.classes, name))
            return false;
    }
    for (const auto &[name, value] : selector.attributes) {
        const auto it = element.attribute.constFind(name);
        if (it == element.attribute.constEnd())
            return false;
        if (value != QLatin1String("\x01") && *it != value)
            return false;
    }
    if (selector.firstChild && !at.firstChild)
        return false;
    return true;
}

// Whether compounds[0..last] match the chain ending at chain[at]. Every
// test spends one unit of `work`: descendant combinators backtrack, and
// "* * * *" over a deep tree would otherwise take exponential time.
bool matchesFrom(const QList<SimpleSelector> &compounds, qsizetype last, const std::vector<Ancestor> &chain, qsizetype at,
                 qsizetype &work)
{
    if (--work <= 0)
        return false;
    if (!matchesCompound(compounds[last], chain[at]))
        return false;
    if (last == 0)
        return true;
    const char combinator = compounds[last].combinator;
    if (combinator == '>')
        return at > 0 && matchesFrom(compounds, last - 1, chain, at - 1, work);
    for (qsizetype up = at - 1; up >= 0 && work > 0; --up) {
        if (matchesFrom(compounds, last - 1, chain, up, work))
            return true;
    }
    return false;
}

struct Cascade
{
    QList<Rule> rules;
    qsizetype work = 0; // selector tests left before matching stops
    // Whether a list of children shared with another tree was copied on
    // the way (its elements then moved).
    bool moved = false;
    // The rules matching the element at hand (kept to spare an
    // allocation per element; used up before its children are visited).
    std::vector<const Rule *> matching;
};

// Applies the style sheets and the style attribute to every element of
// the tree, in place: presentation attributes < sheet rules (by
// specificity, then order) < style attribute < important rules.
void cascade(KTNSvgElement &element, std::vector<Ancestor> &chain, bool firstChild, Cascade &sheets, int depth,
             int maxDepth)
{
    if (depth > maxDepth)
        return;
    // "id", "class" and whether there is a "style", in one pass over the
    // (mostly few) attributes rather than a lookup by name each.
    const QString *id = nullptr;
    const QString *classes = nullptr;
    bool hasStyle = false;
    const KTNSVGAttributes &attributes = element.attribute;
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
        const QString &key = it.key();
        if (key.size() == 2 && key == QLatin1String("id"))
            id = &it.value();
        else if (key.size() == 5 && key == QLatin1String("class"))
            classes = &it.value();
        else if (key.size() == 5 && key == QLatin1String("style"))
            hasStyle = true;
    }
    if (sheets.rules.isEmpty() || (!id && !classes))
        chain.push_back({&element, firstChild, {}, {}});
    else
        chain.push_back({&element, firstChild, id ? *id : QString(), classes ? *classes : QString()});
    QMap<QString, QString> important;
    if (!sheets.rules.isEmpty()) {
        std::vector<const Rule *> &matching = sheets.matching;
        matching.clear();
        for (const Rule &rule : std::as_const(sheets.rules)) {
            if (sheets.work <= 0)
                break;
            if (matchesFrom(rule.compounds, rule.compounds.size() - 1, chain, static_cast<qsizetype>(chain.size()) - 1,
                            sheets.work))
                matching.push_back(&rule);
        }
        const auto before = [](const Rule *a, const Rule *b) {
            return a->specificity != b->specificity ? a->specificity < b->specificity : a->order < b->order;
        };
        // Few rules match an element: sorted in place then, as
        // std::stable_sort allocates a buffer even for one.
        if (matching.size() <= 16) {
            for (size_t i = 1; i < matching.size(); ++i) {
                for (size_t j = i; j > 0 && before(matching[j], matching[j - 1]); --j)
                    std::swap(matching[j], matching[j - 1]);
            }
        } else {
            std::stable_sort(matching.begin(), matching.end(), before);
        }
        for (const Rule *rule : std::as_const(matching)) {
            for (qsizetype i = 0; i < rule->declarations.size(); ++i) {
                const auto &[name, value] = rule->declarations[i];
                if (rule->important.value(i))
                    important.insert(name, value);
                else
                    element.attribute.insert(name, value);
            }
        }
    }
    if (const auto style = hasStyle ? element.attribute.constFind(QStringLiteral("style")) : element.attribute.constEnd();
        style != element.attribute.constEnd()) {
        const QString text = *style;
        element.attribute.remove(QStringLiteral("style"));
        forEachDeclaration(text, [&](const QString &name, QStringView value, bool) {
            if (important.isEmpty() || !important.contains(name))
                element.attribute.insert(name, value.toString());
        });
    }
    for (auto it = important.constBegin(); it != important.constEnd(); ++it)
        element.attribute.insert(it.key(), it.value());
    bool first = true;
    if (!element.childElements.isEmpty() && !element.childElements.isDetached())
        sheets.moved = true;
    for (KTNSvgElement &child : element.childElements) {
        cascade(child, chain, first, sheets, depth + 1, maxDepth);
        first = false;
    }
    chain.pop_back();
}

// The style sheets, whether any element outside them has a style
// attribute, and (on the same walk) the elements by identifier: the last
// of equal ones is the one references reach.
// Also whether any gradient, clip path or mask has an identifier (what
// Builder::buildDefinitions looks for).
void collectStyleSheets(const KTNSvgElement &element, QString &sheets, bool &styled, bool &definitions,
                        QHash<QString, const KTNSvgElement *> &ids, int depth, int maxDepth, bool inSheet = false)
{
    if (depth > maxDepth)
        return;
    // "id" and "style" in one pass over the (mostly few) attributes.
    const QString *id = nullptr;
    bool hasStyle = false;
    for (auto it = element.attribute.constBegin(); it != element.attribute.constEnd(); ++it) {
        const QString &key = it.key();
        if (key.size() == 2 && key == QLatin1String("id"))
            id = &it.value();
        else if (key.size() == 5 && key == QLatin1String("style"))
            hasStyle = true;
    }
    if (id && !id->isEmpty()) {
        ids.insert(*id, &element);
        const QString &name = element.elementName;
        definitions = definitions || isGradientName(name) || name == QLatin1String("clipPath")
            || name == QLatin1String("mask");
    }
    if (!inSheet && hasStyle)
        styled = true;
    if (!inSheet && element.elementName == QLatin1String("style")) {
        const QString type = element.attribute.value(QStringLiteral("type"));
        if (type.isEmpty() || type == QLatin1String("text/css"))
            sheets += element.text + QLatin1Char('\n');
        inSheet = true;
    }
    for (const KTNSvgElement &child : element.childElements)
        collectStyleSheets(child, sheets, styled, definitions, ids, depth + 1, maxDepth, inSheet);
}

void collectIdentifiers(const KTNSvgElement &element, QHash<QString, const KTNSvgElement *> &ids, int depth,
                        int maxDepth)
{
    if (depth > maxDepth)
        return;
    const QString id = element.attribute.value(QStringLiteral("id"));
    // The last element with an identifier is the one references reach.
    if (!id.isEmpty())
        ids.insert(id, &element);
    for (const KTNSvgElement &child : element.childElements)
        collectIdentifiers(child, ids, depth + 1, maxDepth);
}

// "#id" or "url(#id)" (quotes allowed) to "id".
QString referenceIdentifier(const QString &value)
{
    QString text = value.trimmed();
    if (text.startsWith(QLatin1String("url("), Qt::CaseInsensitive)) {
        const qsizetype close = text.indexOf(QLatin1Char(')'));
        text = text.mid(4, close < 0 ? -1 : close - 4).trimmed();
        if (text.size() >= 2 && (text.startsWith(QLatin1Char('"')) || text.startsWith(QLatin1Char('\''))))
            text = text.mid(1, text.size() - 2);
    }
    if (!text.startsWith(QLatin1Char('#')))
        return QString();
    return text.mid(1);
}

QString hrefOf(const KTNSvgElement &element)
{
    QString href = element.attribute.value(QStringLiteral("xlink:href"));
    if (href.isEmpty())
        href = element.attribute.value(QStringLiteral("href"));
    return href.startsWith(QLatin1Char('#')) ? href.mid(1) : QString();
}

// ---- The prepared tree ----

// Computed inherited values, already normalised.
struct Style
{
    Paint fill{Paint::Color, QColor(Qt::black), {}, {}};
    Paint stroke;
    double fillOpacity = 1;
    double strokeOpacity = 1;
    // As the elements keep them: 0 nonzero, 1 evenodd; caps 0 butt,
    // 1 round, 2 square; joins 0 miter, 1 round, 2 bevel.
    int fillRule = 0;
    int clipRule = 0;
    double strokeWidth = 1;
    int lineCap = 0;
    int lineJoin = 0;
    double miterLimit = 4;
    QList<double> dashes;
    double dashOffset = 0;
    std::optional<QColor> color; // nothing: the host's colour
    bool visible = true;
    double fontSize = kDefaultFontSize; // what "em" lengths are measured in
};

class Builder
{
public:
    // `definitions`: whether the document has gradients, clip paths or
    // masks with identifiers at all.
    Builder(const QHash<QString, const KTNSvgElement *> &ids, const PrepareLimits &limits, bool definitions)
        : m_ids(ids), m_limits(limits), m_hasDefinitions(definitions)
    {
    }

    PreparedElement buildRoot(const KTNSvgElement &root);
    // Every gradient, clip path and mask with an identifier, in document
    // order, as referenced from user space.
    void buildDefinitions(const KTNSvgElement &element, int depth, std::optional<QColor> color);
    bool limitReached() const { return m_limitReached; }

private:
    struct Context
    {
        Style style;
        QTransform ctm;
        Viewport viewport;
        int depth = 0;
        QStringList useChain; // identifiers of the "use" copies being built
        bool inClip = false;  // outlines of a clip path
        bool flat = false;    // content of a clip path or mask: shapes only
    };

    void buildChildren(const KTNSvgElement &element, const Context &context, QList<PreparedElement> &out);
    void buildElement(const KTNSvgElement &element, const Context &context, QList<PreparedElement> &out);
    bool spend();
    Style computeStyle(const KTNSvgElement &element, const Style &parent) const
    {
        return computeStyle(AttributeSlots(element.attribute), parent);
    }
    Style computeStyle(const AttributeSlots &given, const Style &parent) const;
    Paint computePaint(const QString &value, const Paint &parent, const std::optional<QColor> &color,
                       bool &specified) const;
    void writeStyle(const Style &style, PreparedValues &out);
    void writeGeometry(const KTNSvgElement &element, const Viewport &viewport, double fontSize,
                       PreparedValues &out) const;
    void writeCommon(const AttributeSlots &attributes, const Context &context, PreparedValues &out);
    QString clipReference(const QString &id, const QTransform &ctm, bool mask);
    QString gradientReference(const QString &id);
    void buildGradient(const QString &id, const KTNSvgElement &gradient, std::optional<QColor> color = std::nullopt);
    QTransform ownTransform(const KTNSvgElement &element) const
    {
        return ownTransform(element.attribute.value(QStringLiteral("transform")));
    }
    static QTransform ownTransform(const QString &text);
    // The view box mapped into the viewport (x, y, width, height).
    static QTransform viewBoxTransform(const QRectF &viewBox, const QRectF &viewport, const QString &aspect);
    QString newIdentifier(const QString &base)
    {
        return base + QStringLiteral("\u2063%1").arg(++m_serial);
    }

    const QHash<QString, const KTNSvgElement *> &m_ids;
    PrepareLimits m_limits;
    bool m_hasDefinitions = true;
    qsizetype m_elements = 0;
    bool m_limitReached = false;
    int m_serial = 0;
    QList<PreparedElement> m_definitions;
    QHash<QString, QString> m_clipClones;     // identifier + matrix -> clone identifier
    QHash<QString, QString> m_gradientsBuilt; // identifier -> prepared identifier ("" none)
    QSet<QString> m_gradientsWithoutStops;
    QSet<QString> m_clipsBuilding;
    // The shape whose clip path is being resolved (its name and prepared
    // geometry), for clip paths in "objectBoundingBox" units.
    const PreparedElement *m_clippedShape = nullptr;
    Viewport m_rootViewport;
};

bool Builder::spend()
{
    if (m_elements >= m_limits.maxElements) {
        m_limitReached = true;
        return false;
    }
    ++m_elements;
    return true;
}

QTransform Builder::ownTransform(const QString &text)
{
    if (text.trimmed().isEmpty())
        return QTransform();
    const std::optional<QTransform> t = KTNTKSVGBaseElement::parserTransformWithValueString(text);
    if (!t || !std::isfinite(t->m11()) || !std::isfinite(t->m12()) || !std::isfinite(t->m21())
        || !std::isfinite(t->m22()) || !std::isfinite(t->dx()) || !std::isfinite(t->dy()))
        return QTransform();
    return *t;
}

QTransform Builder::viewBoxTransform(const QRectF &viewBox, const QRectF &viewport, const QString &aspect)
{
    QTransform t;
    if (viewBox.width() <= 0 || viewBox.height() <= 0)
        return QTransform::fromTranslate(viewport.x(), viewport.y());
    double sx = viewport.width() / viewBox.width();
    double sy = viewport.height() / viewBox.height();
    const QString value = aspect.trimmed();
    if (value.startsWith(QLatin1String("none"))) {
        return QTransform::fromTranslate(-viewBox.x(), -viewBox.y()) * QTransform::fromScale(sx, sy)
            * QTransform::fromTranslate(viewport.x(), viewport.y());
    }
    const bool slice = value.contains(QLatin1String("slice"));
    const double s = slice ? std::max(sx, sy) : std::min(sx, sy);
    double align[2] = {0.5, 0.5};
    if (value.contains(QLatin1String("xMin")))
        align[0] = 0;
    else if (value.contains(QLatin1String("xMax")))
        align[0] = 1;
    if (value.contains(QLatin1String("YMin")))
        align[1] = 0;
    else if (value.contains(QLatin1String("YMax")))
        align[1] = 1;
    const double dx = viewport.x() + (viewport.width() - viewBox.width() * s) * align[0];
    const double dy = viewport.y() + (viewport.height() - viewBox.height() * s) * align[1];
    return QTransform::fromTranslate(-viewBox.x(), -viewBox.y()) * QTransform::fromScale(s, s)
        * QTransform::fromTranslate(dx, dy);
}

Paint Builder::computePaint(const QString &raw, const Paint &parent, const std::optional<QColor> &,
                            bool &specified) const
{
    specified = true;
    const QString value = raw.trimmed();
    if (value.isEmpty() || value == QLatin1String("inherit")) {
        specified = false;
        return parent;
    }
    if (value == QLatin1String("none"))
        return Paint{};
    // The keyword is inherited as such: each element resolves it with its
    // own "color".
    if (isCurrentColor(value))
        return Paint{Paint::Current, {}, {}, {}};
    if (value.startsWith(QLatin1String("url("), Qt::CaseInsensitive)) {
        Paint paint;
        paint.kind = Paint::Server;
        paint.server = referenceIdentifier(value);
        const qsizetype close = value.indexOf(QLatin1Char(')'));
        paint.fallback = close < 0 ? QString() : value.mid(close + 1).trimmed();
        return paint;
    }
    if (keepsVerbatim(value))
        return Paint{Paint::Color, QColor(), {}, {}, value};
    if (const std::optional<QColor> parsed = parseColor(value))
        return Paint{Paint::Color, *parsed, {}, {}};
    // A colour function or hexadecimal colour that does not read is as if
    // it were not given; other text is left to the elements' own reading
    // (a name the colour table does not know paints as the clear colour).
    if (value.contains(QLatin1Char('(')) || value.startsWith(QLatin1Char('#'))) {
        specified = false;
        return parent;
    }
    return Paint{Paint::Color, QColor(), {}, {}, value};
}

Style Builder::computeStyle(const AttributeSlots &given, const Style &parent) const
{
    // Most shapes of an icon set only inherit.
    if (!given.anyInherited)
        return parent;
    Style style = parent;
    // The values as written, by reference: copies of strings count
    // references, and there are many per element. Values are seldom
    // padded: trimmed() is only asked when they are, kept here.
    std::array<QString, kFontSize + 1> trimmed;
    auto value = [&](InheritedProperty property) -> const QString & {
        const QString &raw = given[property];
        if (raw.isEmpty())
            return kNoValue;
        const QString *v = &raw;
        if (raw.front().isSpace() || raw.back().isSpace()) {
            trimmed[property] = raw.trimmed();
            v = &trimmed[property];
        }
        return *v == QLatin1String("inherit") ? kNoValue : *v;
    };
    // "font-size" first: the element's own "em" lengths use it.
    const QString &fontSize = value(kFontSize);
    if (!fontSize.isEmpty()) {
        if (const auto parsed = parseLength(fontSize, Axis::Diagonal, m_rootViewport, parent.fontSize);
            parsed && *parsed >= 0)
            style.fontSize = *parsed;
    }
    // "color" first: "currentColor" on the same element uses it.
    const QString &color = value(kColor);
    if (!color.isEmpty()) {
        if (!isCurrentColor(color)) {
            if (const auto parsed = parseColor(color))
                style.color = *parsed;
        }
    }
    bool specified = false;
    style.fill = computePaint(value(kFill), parent.fill, style.color, specified);
    style.stroke = computePaint(value(kStroke), parent.stroke, style.color, specified);
    auto opacityValue = [&](InheritedProperty property, double fallback) {
        const QString &v = value(property);
        if (v.isEmpty())
            return fallback;
        const auto parsed = percentOrNumber(v, 1.0);
        return parsed && std::isfinite(*parsed) ? std::clamp(*parsed, 0.0, 1.0) : fallback;
    };
    style.fillOpacity = opacityValue(kFillOpacity, parent.fillOpacity);
    style.strokeOpacity = opacityValue(kStrokeOpacity, parent.strokeOpacity);
    auto rule = [&](InheritedProperty property, int &target) {
        const QString &v = value(property);
        if (v == QLatin1String("evenodd"))
            target = 1;
        else if (v == QLatin1String("nonzero"))
            target = 0;
    };
    rule(kFillRule, style.fillRule);
    rule(kClipRule, style.clipRule);
    const QString &width = value(kStrokeWidth);
    if (!width.isEmpty()) {
        // A negative width strokes nothing.
        if (const auto parsed = parseLength(width, Axis::Diagonal, m_rootViewport, style.fontSize))
            style.strokeWidth = std::max(0.0, *parsed);
    }
    const QString &cap = value(kStrokeLinecap);
    if (cap == QLatin1String("butt"))
        style.lineCap = 0;
    else if (cap == QLatin1String("round"))
        style.lineCap = 1;
    else if (cap == QLatin1String("square"))
        style.lineCap = 2;
    const QString &join = value(kStrokeLinejoin);
    // "miter-clip" and "arcs" are drawn as miters.
    if (join == QLatin1String("miter") || join == QLatin1String("miter-clip") || join == QLatin1String("arcs"))
        style.lineJoin = 0;
    else if (join == QLatin1String("round"))
        style.lineJoin = 1;
    else if (join == QLatin1String("bevel"))
        style.lineJoin = 2;
    const QString &miter = value(kStrokeMiterlimit);
    if (!miter.isEmpty()) {
        // A plain number: "5mm" or "50%" is no limit at all.
        bool ok = false;
        const double limit = miter.toDouble(&ok);
        if (ok && limit >= 1 && std::isfinite(limit))
            style.miterLimit = limit;
    }
    const QString &dashes = value(kStrokeDasharray);
    if (dashes == QLatin1String("none")) {
        style.dashes.clear();
    } else if (!dashes.isEmpty()) {
        QList<double> list;
        bool valid = true;
        QString text = dashes;
        text.replace(QLatin1Char(','), QLatin1Char(' '));
        for (const QString &part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const auto length = parseLength(part, Axis::Diagonal, m_rootViewport, style.fontSize);
            if (!length || *length < 0) {
                valid = false;
                break;
            }
            list.append(*length);
        }
        double sum = 0;
        for (double d : std::as_const(list))
            sum += d;
        if (valid) {
            if (list.size() % 2)
                list += QList<double>(list);
            // Without gaps the line is solid.
            bool gaps = false;
            for (qsizetype i = 1; i < list.size(); i += 2)
                gaps = gaps || list[i] > 0;
            if (sum <= 0 || !gaps)
                list.clear();
            style.dashes = list;
        }
    }
    const QString &offset = value(kStrokeDashoffset);
    if (!offset.isEmpty()) {
        if (const auto parsed = parseLength(offset, Axis::Diagonal, m_rootViewport, style.fontSize))
            style.dashOffset = *parsed;
    }
    const QString &visibility = value(kVisibility);
    if (!visibility.isEmpty())
        style.visible = visibility == QLatin1String("visible");
    return style;
}

QString Builder::gradientReference(const QString &id)
{
    const auto built = m_gradientsBuilt.constFind(id);
    if (built != m_gradientsBuilt.constEnd())
        return *built;
    const KTNSvgElement *gradient = m_ids.value(id);
    if (!gradient || !isGradientName(gradient->elementName)) {
        m_gradientsBuilt.insert(id, QString());
        return QString();
    }
    m_gradientsBuilt.insert(id, id);
    buildGradient(id, *gradient);
    return m_gradientsBuilt.value(id);
}

void Builder::buildGradient(const QString &id, const KTNSvgElement &gradient, std::optional<QColor> color)
{
    // The chain of "href" references: attributes the gradient lacks and,
    // when it has no stops, the stops come from the nearest that has them.
    QList<const KTNSvgElement *> chain{&gradient};
    QSet<const KTNSvgElement *> seen{&gradient};
    for (const KTNSvgElement *at = &gradient; chain.size() < kMaxReferenceDepth;) {
        const KTNSvgElement *next = m_ids.value(hrefOf(*at));
        if (!next || seen.contains(next) || !isGradientName(next->elementName))
            break;
        chain.append(next);
        seen.insert(next);
        at = next;
    }
    // Names as QStringLiteral: a QLatin1String key would be converted for
    // every lookup.
    auto attribute = [&](const QString &name, bool sameKindOnly) -> QString {
        for (const KTNSvgElement *element : std::as_const(chain)) {
            if (sameKindOnly && element->elementName != gradient.elementName)
                continue;
            const QString v = element->attribute.value(name);
            if (!v.isEmpty())
                return v;
        }
        return QString();
    };
    const KTNSvgElement *stopSource = nullptr;
    for (const KTNSvgElement *element : std::as_const(chain)) {
        for (const KTNSvgElement &child : element->childElements) {
            if (child.elementName == QLatin1String("stop")) {
                stopSource = element;
                break;
            }
        }
        if (stopSource)
            break;
    }
    PreparedElement out;
    out.elementName = gradient.elementName;
    out.attribute.insert(QStringLiteral("id"), id);
    const bool userSpace = attribute(QStringLiteral("gradientUnits"), false) == QLatin1String("userSpaceOnUse");
    out.attribute.insert(QStringLiteral("gradientUnits"),
                         userSpace ? QStringLiteral("userSpaceOnUse") : QStringLiteral("objectBoundingBox"));
    const QString transform = attribute(QStringLiteral("gradientTransform"), false);
    if (!transform.isEmpty())
        out.attribute.insert(QStringLiteral("gradientTransform"), transform);
    const QString spread = attribute(QStringLiteral("spreadMethod"), false);
    if (!spread.isEmpty())
        out.attribute.insert(QStringLiteral("spreadMethod"), spread);
    auto coordinate = [&](const QString &name, Axis axis, const QString &fallback) {
        QString v = attribute(name, true);
        if (v.isEmpty())
            v = fallback;
        std::optional<double> value;
        if (userSpace) {
            value = parseLength(v, axis, m_rootViewport);
        } else {
            value = percentOrNumber(v, 1.0);
        }
        out.attribute.insert(name, number(value.value_or(0)));
        return value.value_or(0);
    };
    if (gradient.elementName == QLatin1String("linearGradient")) {
        coordinate(QStringLiteral("x1"), Axis::X, QStringLiteral("0%"));
        coordinate(QStringLiteral("y1"), Axis::Y, QStringLiteral("0%"));
        coordinate(QStringLiteral("x2"), Axis::X, QStringLiteral("100%"));
        coordinate(QStringLiteral("y2"), Axis::Y, QStringLiteral("0%"));
    } else {
        const double cx = coordinate(QStringLiteral("cx"), Axis::X, QStringLiteral("50%"));
        const double cy = coordinate(QStringLiteral("cy"), Axis::Y, QStringLiteral("50%"));
        coordinate(QStringLiteral("r"), Axis::Diagonal, QStringLiteral("50%"));
        coordinate(QStringLiteral("fr"), Axis::Diagonal, QStringLiteral("0%"));
        if (attribute(QStringLiteral("fx"), true).isEmpty())
            out.attribute.insert(QStringLiteral("fx"), number(cx));
        else
            coordinate(QStringLiteral("fx"), Axis::X, QString());
        if (attribute(QStringLiteral("fy"), true).isEmpty())
            out.attribute.insert(QStringLiteral("fy"), number(cy));
        else
            coordinate(QStringLiteral("fy"), Axis::Y, QString());
    }
    // The gradient's "color" (its own or inherited) for stops that use
    // "currentColor".
    if (const auto parsed = parseColor(gradient.attribute.value(QStringLiteral("color"))))
        color = *parsed;
    const QString href = gradient.attribute.value(QStringLiteral("xlink:href"));
    if (!href.isEmpty())
        out.attribute.insert(QStringLiteral("xlink:href"), href);
    double last = 0;
    const QList<KTNSvgElement> noStops;
    for (const KTNSvgElement &stop : stopSource ? stopSource->childElements : noStops) {
        if (stop.elementName != QLatin1String("stop") || !spend())
            continue;
        PreparedElement prepared;
        prepared.elementName = stop.elementName;
        double offset = percentOrNumber(stop.attribute.value(QStringLiteral("offset")), 1.0).value_or(0);
        if (!std::isfinite(offset))
            offset = 0;
        offset = std::clamp(offset, 0.0, 1.0);
        offset = std::max(offset, last);
        last = offset;
        std::optional<QColor> stopColorOf = color;
        if (const auto own = parseColor(stop.attribute.value(QStringLiteral("color"))))
            stopColorOf = *own;
        QColor stopColor(Qt::black);
        const QString written = stop.attribute.value(QStringLiteral("stop-color")).trimmed();
        if (isCurrentColor(written)) {
            stopColor = stopColorOf.value_or(QColor(Qt::black));
        } else if (const auto parsed = parseColor(written)) {
            stopColor = *parsed;
        }
        double stopOpacity = 1;
        const QString opacityText = stop.attribute.value(QStringLiteral("stop-opacity"));
        if (!opacityText.isEmpty()) {
            const auto parsed = percentOrNumber(opacityText, 1.0);
            stopOpacity = parsed && std::isfinite(*parsed) ? std::clamp(*parsed, 0.0, 1.0) : 1.0;
        }
        prepared.attribute.insert(QStringLiteral("offset"), number(offset));
        prepared.attribute.insert(QStringLiteral("stop-color"), colorText(stopColor));
        prepared.attribute.insert(QStringLiteral("stop-opacity"), number(stopOpacity * stopColor.alphaF()));
        out.childElements.append(prepared);
    }
    if (out.childElements.isEmpty())
        m_gradientsWithoutStops.insert(id);
    else
        m_gradientsWithoutStops.remove(id);
    if (!spend())
        return;
    m_definitions.append(out);
}

QString Builder::clipReference(const QString &id, const QTransform &ctm, bool mask)
{
    const KTNSvgElement *definition = m_ids.value(id);
    const QLatin1String expected = mask ? QLatin1String("mask") : QLatin1String("clipPath");
    if (!definition || definition->elementName != expected)
        return QString();
    QTransform units;
    if (!mask && definition->attribute.value(QStringLiteral("clipPathUnits")) == QLatin1String("objectBoundingBox")) {
        // The clip path's coordinates are shares of the shape's box.
        if (!m_clippedShape)
            return QString();
        PreparedValues geometry = m_clippedShape->values;
        geometry.given &= ~PreparedValues::kTransform;
        const auto factory = KTNTKSVGBaseElement::classMap().constFind(m_clippedShape->elementName);
        KTNSVGElementPtr probe;
        if (factory != KTNTKSVGBaseElement::classMap().constEnd()) {
            probe = (*factory)();
            probe->initWithPrepared(geometry);
        }
        const QRectF box = probe && probe->shape ? probe->shape->path.boundingRect() : QRectF();
        if (!(box.width() > 0) || !(box.height() > 0))
            return QString();
        units = QTransform(box.width(), 0, 0, box.height(), box.x(), box.y());
    }
    const QString key = id + QLatin1Char('\n') + matrixText(units * ctm);
    const auto found = m_clipClones.constFind(key);
    if (found != m_clipClones.constEnd())
        return *found;
    // A clip path that clips itself (directly or through its children)
    // clips nothing further.
    if (m_clipsBuilding.contains(id) || m_clipsBuilding.size() >= kMaxReferenceDepth)
        return QString();
    m_clipsBuilding.insert(id);
    const QString clone = (units * ctm).isIdentity() ? id : newIdentifier(id);
    m_clipClones.insert(key, clone);
    PreparedElement out;
    out.elementName = definition->elementName;
    out.attribute = definition->attribute;
    out.attribute.remove(QStringLiteral("transform"));
    out.attribute.remove(QStringLiteral("clip-path"));
    out.attribute.insert(QStringLiteral("id"), clone);
    Context context;
    context.ctm = mask ? ctm : units * ownTransform(*definition) * ctm;
    context.viewport = m_rootViewport;
    context.inClip = !mask;
    context.flat = true;
    // Inside a clip path only outlines count: everything is filled.
    context.style.fill = Paint{Paint::Color, QColor(Qt::black), {}, {}};
    if (mask) {
        Style base;
        context.style = computeStyle(*definition, base);
    }
    if (spend()) {
        buildChildren(*definition, context, out.childElements);
        // Without anything to show, a clip path or mask hides everything:
        // an outline without area says so.
        if (out.childElements.isEmpty())
            out.childElements.append(PreparedElement(QStringLiteral("rect"), {{QStringLiteral("width"), QStringLiteral("0")}}));
        m_definitions.append(out);
    }
    m_clipsBuilding.remove(id);
    return clone;
}

void Builder::writeStyle(const Style &style, PreparedValues &out)
{
    using V = PreparedValues;
    auto paint = [&](const Paint &p, PreparedPaint &target, V::Field field, double &opacityTarget,
                     V::Field opacityField, double opacity) {
        out.given |= field;
        auto setOpacity = [&](double value) {
            out.given |= opacityField;
            opacityTarget = rereadOpacity(value);
        };
        Paint effective = p;
        if (effective.kind == Paint::Server) {
            QString prepared = gradientReference(effective.server);
            // A gradient without stops paints the fallback colour if there
            // is one (else nothing, as the gradient itself would).
            if (!prepared.isEmpty() && m_gradientsWithoutStops.contains(prepared) && !p.fallback.isEmpty())
                prepared.clear();
            if (prepared.isEmpty()) {
                // No such gradient: the fallback colour, else nothing.
                effective = Paint{};
                if (const auto fallback = parseColor(p.fallback))
                    effective = Paint{Paint::Color, *fallback, {}, {}};
                else if (isCurrentColor(p.fallback))
                    effective = style.color ? Paint{Paint::Color, *style.color, {}, {}} : Paint{Paint::Current, {}, {}, {}};
            } else {
                target = PreparedPaint{2, prepared, {}};
                if (opacity != 1)
                    setOpacity(opacity);
                return;
            }
        }
        switch (effective.kind) {
        case Paint::None:
        case Paint::Server:
            target = PreparedPaint{};
            break;
        case Paint::Current:
            if (style.color) {
                if (style.color->alpha() == 0) {
                    target = PreparedPaint{};
                    break;
                }
                target = colourPaint(*style.color);
                if (opacity * style.color->alphaF() != 1)
                    setOpacity(opacity * style.color->alphaF());
                break;
            }
            target = keywordPaint(true);
            if (opacity != 1)
                setOpacity(opacity);
            break;
        case Paint::Color:
            if (!effective.verbatim.isEmpty()) {
                target = PreparedPaint{-1, effective.verbatim, {}};
                if (opacity != 1)
                    setOpacity(opacity);
                break;
            }
            if (effective.color.alpha() == 0) {
                target = PreparedPaint{};
                break;
            }
            target = colourPaint(effective.color);
            if (opacity * effective.color.alphaF() != 1)
                setOpacity(opacity * effective.color.alphaF());
            break;
        }
    };
    if (!style.visible) {
        out.given |= V::kFill | V::kStroke;
        out.fill = PreparedPaint{};
        out.stroke = PreparedPaint{};
        return;
    }
    paint(style.fill, out.fill, V::kFill, out.fillOpacity, V::kFillOpacity, style.fillOpacity);
    // Values the elements assume anyway are left out.
    if (style.fillRule != 0) {
        out.given |= V::kFillRule;
        out.fillRule = style.fillRule;
    }
    if (style.strokeWidth <= 0) {
        out.given |= V::kStroke;
        out.stroke = PreparedPaint{};
        return;
    }
    paint(style.stroke, out.stroke, V::kStroke, out.strokeOpacity, V::kStrokeOpacity, style.strokeOpacity);
    if (out.stroke.kind == 0)
        return;
    out.given |= V::kStrokeWidth;
    out.strokeWidth = reread(style.strokeWidth);
    if (style.lineCap != 0) {
        out.given |= V::kLineCap;
        out.lineCap = style.lineCap;
    }
    if (style.lineJoin != 0) {
        out.given |= V::kLineJoin;
        out.lineJoin = style.lineJoin;
    } else {
        out.given |= V::kMiterLimit;
        const double limit = reread(style.miterLimit);
        out.miterLimit = limit < 1e-7 ? 0.0 : limit;
    }
    if (!style.dashes.isEmpty()) {
        QStringList parts;
        for (double d : style.dashes)
            parts.append(number(d));
        out.given |= V::kDashArray | V::kDashOffset;
        out.dashArray = parts.join(QLatin1Char(','));
        out.dashOffset = reread(style.dashOffset);
    }
}

void Builder::writeGeometry(const KTNSvgElement &element, const Viewport &viewport, double fontSize,
                            PreparedValues &out) const
{
    struct Field
    {
        QString name;
        Axis axis;
    };
    static const QList<Field> rect{{QStringLiteral("x"), Axis::X},      {QStringLiteral("y"), Axis::Y},
                                   {QStringLiteral("width"), Axis::X},  {QStringLiteral("height"), Axis::Y},
                                   {QStringLiteral("rx"), Axis::X},     {QStringLiteral("ry"), Axis::Y}};
    static const QList<Field> circle{
        {QStringLiteral("cx"), Axis::X}, {QStringLiteral("cy"), Axis::Y}, {QStringLiteral("r"), Axis::Diagonal}};
    static const QList<Field> ellipse{{QStringLiteral("cx"), Axis::X},
                                      {QStringLiteral("cy"), Axis::Y},
                                      {QStringLiteral("rx"), Axis::X},
                                      {QStringLiteral("ry"), Axis::Y}};
    static const QList<Field> line{{QStringLiteral("x1"), Axis::X},
                                   {QStringLiteral("y1"), Axis::Y},
                                   {QStringLiteral("x2"), Axis::X},
                                   {QStringLiteral("y2"), Axis::Y}};
    const QString &name = element.elementName;
    const QList<Field> *fields = name == QLatin1String("rect")      ? &rect
                                 : name == QLatin1String("circle")  ? &circle
                                 : name == QLatin1String("ellipse") ? &ellipse
                                 : name == QLatin1String("line")    ? &line
                                                                    : nullptr;
    if (!fields) {
        // "d" and "points" as written; each element reads only its own.
        const bool path = name == QLatin1String("path");
        for (const QString &key : {QStringLiteral("d"), QStringLiteral("points")}) {
            const auto it = element.attribute.constFind(key);
            if (it == element.attribute.constEnd())
                continue;
            if ((key.size() == 1) == path) {
                out.given |= PreparedValues::kPathData;
                out.pathData = *it;
            } else {
                out.given |= PreparedValues::kOtherOutline;
            }
        }
        return;
    }
    // Whether the text the length stood for read as zero (QString::toDouble).
    bool zero[6] = {false, false, false, false, false, false};
    auto set = [&](qsizetype i, double value, bool isZero) {
        out.geometryGiven |= quint8(1u << i);
        out.geometry[i] = value;
        zero[i] = isZero;
    };
    for (qsizetype i = 0; i < fields->size(); ++i) {
        const Field &field = fields->at(i);
        const auto it = element.attribute.constFind(field.name);
        if (it == element.attribute.constEnd())
            continue;
        const QString &value = *it;
        const bool radius = field.name.size() == 2 && field.name[0] == QLatin1Char('r');
        // A plain number is used as it stands (a negative radius is as if
        // it were not given).
        if (!value.isEmpty() && (value.back().isDigit() || value.back() == QLatin1Char('.'))
            && !value.contains(QLatin1Char('e'), Qt::CaseInsensitive) && !(radius && value.contains(QLatin1Char('-')))) {
            // (Only rectangle radii ask whether the text read as zero.)
            set(i, KTNTKSVGBaseElement::parserFloatWithValueString(value),
                fields == &rect && i >= 4 && value.toDouble() == 0.0);
            continue;
        }
        if (value.trimmed() == QLatin1String("auto"))
            continue;
        if (const auto length = parseLength(value, field.axis, viewport, fontSize)) {
            if (!(radius && *length < 0)) {
                const double read = reread(*length);
                set(i, read, read == 0.0);
            }
        }
    }
    const auto given = [&](int i) { return (out.geometryGiven & (1u << i)) != 0; };
    if (fields == &rect) {
        // A radius given as zero makes square corners: the element would
        // take the other radius for it, as for a missing one.
        for (const auto &[zeroAt, other] : {std::pair{4, 5}, std::pair{5, 4}}) {
            if (given(zeroAt) && zero[zeroAt] && given(other))
                set(other, 0, true);
        }
    } else if (fields == &ellipse) {
        // "auto" (or a missing radius) takes the other one.
        if (!given(2) && given(3))
            set(2, out.geometry[3], zero[3]);
        if (!given(3) && given(2))
            set(3, out.geometry[2], zero[2]);
    }
}

void Builder::writeCommon(const AttributeSlots &attributes, const Context &context, PreparedValues &out)
{
    const QString &id = attributes[kId];
    if (!id.isEmpty()) {
        out.given |= PreparedValues::kId;
        out.id = id;
    }
    const QString opacity = attributes[kOpacity].trimmed();
    if (!opacity.isEmpty()) {
        const auto parsed = percentOrNumber(opacity, 1.0);
        if (parsed && std::isfinite(*parsed)) {
            out.given |= PreparedValues::kOpacity;
            out.opacity = rereadOpacity(std::clamp(*parsed, 0.0, 1.0));
        }
    }
    if (!context.flat) {
        const QString clip = attributes[kClipPath].isEmpty() ? QString() : referenceIdentifier(attributes[kClipPath]);
        if (!clip.isEmpty()) {
            // A reference to no clip path leaves the element unclipped.
            const QString clone = clipReference(clip, context.ctm, false);
            if (!clone.isEmpty()) {
                out.given |= PreparedValues::kClipPath;
                out.clipPath = clone;
            }
        }
        const QString mask = attributes[kMask].isEmpty() ? QString() : referenceIdentifier(attributes[kMask]);
        if (!mask.isEmpty()) {
            const QString clone = clipReference(mask, context.ctm, true);
            if (!clone.isEmpty()) {
                out.given |= PreparedValues::kMask;
                out.mask = clone;
            }
        }
    }
}

void Builder::buildChildren(const KTNSvgElement &element, const Context &context, QList<PreparedElement> &out)
{
    // Prepared elements are large: moving them as the list grows costs.
    out.reserve(out.size() + element.childElements.size());
    for (const KTNSvgElement &child : element.childElements) {
        if (m_limitReached)
            return;
        buildElement(child, context, out);
    }
}

void Builder::buildElement(const KTNSvgElement &element, const Context &parent, QList<PreparedElement> &out)
{
    const QString &name = element.elementName;
    if (parent.depth >= m_limits.maxDepth) {
        m_limitReached = true;
        return;
    }
    // Definitions are prepared where they are referenced.
    // Shapes, the most of any document, are told apart first.
    const bool shape = isShapeName(name);
    if (!shape
        && (isGradientName(name) || name == QLatin1String("clipPath") || name == QLatin1String("mask")
            || name == QLatin1String("symbol") || name == QLatin1String("style") || name == QLatin1String("defs")))
        return;
    const bool group =
        !shape && (name == QLatin1String("g") || name == QLatin1String("a") || name == QLatin1String("switch"));
    const bool use = !shape && !group && name == QLatin1String("use");
    const bool nested = !shape && !group && !use && name == QLatin1String("svg");
    if (!shape && !group && !use && !nested)
        return;
    const AttributeSlots attributes(element.attribute);
    if (attributes[kDisplay].trimmed() == QLatin1String("none"))
        return;
    // A shape without attributes has no geometry.
    if (shape && element.attribute.isEmpty())
        return;
    if (!spend())
        return;

    Context context = parent;
    context.depth = parent.depth + 1;
    context.style = computeStyle(attributes, parent.style);
    context.ctm = ownTransform(attributes[kTransform]) * parent.ctm;

    if (shape) {
        PreparedElement prepared;
        prepared.elementName = name;
        prepared.typed = true;
        PreparedValues &values = prepared.values;
        writeGeometry(element, context.viewport, context.style.fontSize, values);
        m_clippedShape = &prepared;
        writeCommon(attributes, context, values);
        m_clippedShape = nullptr;
        if (parent.inClip) {
            // Outlines only: "clip-rule" decides the winding.
            values.given |= PreparedValues::kFill | PreparedValues::kFillRule;
            values.fill = keywordPaint(false);
            values.fillRule = context.style.clipRule;
            if (!context.style.visible)
                return;
        } else {
            writeStyle(context.style, values);
        }
        if (!context.ctm.isIdentity()) {
            values.given |= PreparedValues::kTransform;
            values.transform = rereadTransform(context.ctm);
        }
        out.append(std::move(prepared));
        return;
    }

    PreparedElement prepared;
    prepared.elementName = groupName();
    prepared.typed = true;
    if (!parent.flat) {
        writeCommon(attributes, context, prepared.values);
        // The group's computed values (its children carry their own).
        writeStyle(context.style, prepared.values);
    }

    if (use) {
        const QString id = hrefOf(element);
        const KTNSvgElement *target = m_ids.value(id);
        if (!target || context.useChain.contains(id) || context.useChain.size() >= kMaxReferenceDepth)
            return;
        const Viewport &vp = parent.viewport;
        const double x = parseLength(element.attribute.value(QStringLiteral("x")), Axis::X, vp).value_or(0);
        const double y = parseLength(element.attribute.value(QStringLiteral("y")), Axis::Y, vp).value_or(0);
        context.ctm = QTransform::fromTranslate(x, y) * context.ctm;
        context.useChain.append(id);
        if (target->elementName == QLatin1String("symbol")) {
            const double w =
                parseLength(element.attribute.value(QStringLiteral("width"), QStringLiteral("100%")), Axis::X, vp)
                    .value_or(0);
            const double h =
                parseLength(element.attribute.value(QStringLiteral("height"), QStringLiteral("100%")), Axis::Y, vp)
                    .value_or(0);
            const QRectF box = parseViewBox(target->attribute.value(QStringLiteral("viewBox")));
            if (box.width() > 0 && box.height() > 0) {
                context.ctm = viewBoxTransform(box, QRectF(0, 0, w, h),
                                               target->attribute.value(QStringLiteral("preserveAspectRatio")))
                    * context.ctm;
                context.viewport = {box.width(), box.height()};
            }
            const Style symbolStyle = computeStyle(*target, context.style);
            Context inner = context;
            inner.style = symbolStyle;
            inner.ctm = ownTransform(*target) * context.ctm;
            buildChildren(*target, inner, prepared.childElements);
        } else if (isGradientName(target->elementName) || target->elementName == QLatin1String("clipPath")
                   || target->elementName == QLatin1String("mask") || target->elementName == QLatin1String("defs")) {
            return;
        } else {
            KTNSvgElement copy = *target;
            // The copy's own width and height come from "use" for a
            // referenced "svg".
            if (target->elementName == QLatin1String("svg")) {
                for (const char *key : {"width", "height"}) {
                    const QString v = element.attribute.value(QLatin1String(key));
                    if (!v.isEmpty())
                        copy.attribute.insert(QLatin1String(key), v);
                }
            }
            copy.attribute.remove(QStringLiteral("display"));
            Context inner = context;
            inner.depth = context.depth;
            buildElement(copy, inner, prepared.childElements);
        }
    } else if (nested) {
        const Viewport &vp = parent.viewport;
        const auto &a = element.attribute;
        const double x = parseLength(a.value(QStringLiteral("x")), Axis::X, vp).value_or(0);
        const double y = parseLength(a.value(QStringLiteral("y")), Axis::Y, vp).value_or(0);
        const double w = parseLength(a.value(QStringLiteral("width"), QStringLiteral("100%")), Axis::X, vp).value_or(0);
        const double h = parseLength(a.value(QStringLiteral("height"), QStringLiteral("100%")), Axis::Y, vp).value_or(0);
        if (w <= 0 || h <= 0)
            return;
        const QRectF box = parseViewBox(a.value(QStringLiteral("viewBox")));
        const QRectF port(x, y, w, h);
        // What the children are built in: the view box fitted into the
        // port, or the port's own origin without one.
        auto contentContext = [&] {
            Context content = context;
            if (box.width() > 0 && box.height() > 0) {
                content.ctm = viewBoxTransform(box, port, a.value(QStringLiteral("preserveAspectRatio"))) * context.ctm;
                content.viewport = {box.width(), box.height()};
            } else {
                content.ctm = QTransform::fromTranslate(x, y) * context.ctm;
                content.viewport = {w, h};
            }
            return content;
        };
        // The nested viewport clips what it shows unless told otherwise.
        const QString overflow = a.value(QStringLiteral("overflow")).trimmed();
        if (!parent.flat && overflow != QLatin1String("visible") && overflow != QLatin1String("auto") && spend()) {
            PreparedElement clip(QStringLiteral("clipPath"), {{QStringLiteral("id"), newIdentifier(QStringLiteral("viewport"))}});
            PreparedElement rect(QStringLiteral("rect"), {{QStringLiteral("x"), number(x)},
                                                         {QStringLiteral("y"), number(y)},
                                                         {QStringLiteral("width"), number(w)},
                                                         {QStringLiteral("height"), number(h)},
                                                         {QStringLiteral("fill"), QStringLiteral("black")}});
            if (!context.ctm.isIdentity())
                rect.attribute.insert(QStringLiteral("transform"), matrixText(context.ctm));
            clip.childElements.append(rect);
            const QString clipId = clip.attribute.value(QStringLiteral("id"));
            m_definitions.append(clip);
            // The element's own clip path, if any, goes on an outer group.
            if (prepared.values.given & PreparedValues::kClipPath) {
                PreparedElement inner;
                inner.elementName = groupName();
                inner.typed = true;
                inner.values.given = PreparedValues::kClipPath;
                inner.values.clipPath = clipId;
                buildChildren(element, contentContext(), inner.childElements);
                prepared.childElements.append(std::move(inner));
                out.append(std::move(prepared));
                return;
            }
            prepared.values.given |= PreparedValues::kClipPath;
            prepared.values.clipPath = clipId;
        }
        buildChildren(element, contentContext(), prepared.childElements);
    } else if (name == QLatin1String("switch")) {
        // The first child that can be drawn.
        for (const KTNSvgElement &child : element.childElements) {
            const qsizetype before = prepared.childElements.size();
            if (child.attribute.contains(QStringLiteral("requiredFeatures"))
                || child.attribute.contains(QStringLiteral("systemLanguage"))
                || child.attribute.contains(QStringLiteral("requiredExtensions")))
                continue;
            buildElement(child, context, prepared.childElements);
            if (prepared.childElements.size() > before)
                break;
        }
    } else {
        buildChildren(element, context, prepared.childElements);
    }
    if (parent.flat) {
        // Clip and mask content is flat: the shapes alone.
        out.append(prepared.childElements);
        return;
    }
    if (prepared.childElements.isEmpty())
        return;
    out.append(std::move(prepared));
}

void Builder::buildDefinitions(const KTNSvgElement &element, int depth, std::optional<QColor> color)
{
    if (depth > m_limits.maxDepth || m_limitReached)
        return;
    const QString &name = element.elementName;
    if (const auto own = parseColor(element.attribute.value(QStringLiteral("color"))))
        color = *own;
    const QString id = element.attribute.value(QStringLiteral("id"));
    if (!id.isEmpty()) {
        if (isGradientName(name)) {
            m_gradientsBuilt.insert(id, id);
            buildGradient(id, element, color);
            return;
        }
        if (name == QLatin1String("clipPath") || name == QLatin1String("mask")) {
            clipReference(id, QTransform(), name == QLatin1String("mask"));
            return;
        }
    }
    for (const KTNSvgElement &child : element.childElements)
        buildDefinitions(child, depth + 1, color);
}

PreparedElement Builder::buildRoot(const KTNSvgElement &root)
{
    PreparedElement out;
    out.elementName = root.elementName;
    out.scale = root.scale;
    Context context;
    if (root.elementName != QLatin1String("svg")) {
        // A tree around the document (the registry's "file" node), or
        // content without a document: the first "svg" inside is prepared
        // as the document, anything else as content of a 100 x 100 one.
        m_rootViewport = {100, 100};
        context.viewport = m_rootViewport;
        out.attribute = root.attribute;
        if (isShapeName(root.elementName) || root.elementName == QLatin1String("g")) {
            QList<PreparedElement> children;
            buildElement(root, context, children);
            if (children.size() == 1 && children.first().elementName == root.elementName) {
                out = children.first();
                out.scale = root.scale;
            }
        } else {
            bool document = false;
            for (const KTNSvgElement &child : root.childElements) {
                if (!document && child.elementName == QLatin1String("svg")) {
                    document = true;
                    out.childElements.append(buildRoot(child));
                } else {
                    buildElement(child, context, out.childElements);
                }
            }
        }
        out.childElements = m_definitions + out.childElements;
        m_definitions.clear();
        return out;
    }
    // The document attributes stay as written (the builder reads the view
    // box from them); the content is placed in image space.
    out.attribute = root.attribute;
    // One pass over the root's few attributes instead of a search for
    // each name.
    QString viewBoxText, widthText, heightText;
    bool removable = false;
    for (auto it = root.attribute.cbegin(); it != root.attribute.cend(); ++it) {
        const QString &key = it.key();
        if (key == u"viewBox")
            viewBoxText = it.value();
        else if (key == u"width")
            widthText = it.value();
        else if (key == u"height")
            heightText = it.value();
        else if (key == u"style" || key == u"transform" || key == u"clip-path" || key == u"mask")
            removable = true;
    }
    // Removing only what is there keeps the map shared with the source.
    if (removable) {
        for (const QString &key : {QStringLiteral("style"), QStringLiteral("transform"),
                                   QStringLiteral("clip-path"), QStringLiteral("mask")})
            out.attribute.remove(key);
    }
    const QRectF box = parseViewBox(viewBoxText);
    const Viewport initial{100, 100};
    const auto width = parseLength(widthText, Axis::X, initial);
    const auto height = parseLength(heightText, Axis::Y, initial);
    const bool percentSize = widthText.contains(QLatin1Char('%')) || heightText.contains(QLatin1Char('%'));
    if (box.width() > 0 && box.height() > 0) {
        m_rootViewport = {box.width(), box.height()};
        if (width && height && !percentSize && *width > 0 && *height > 0
            && std::abs(*width / *height - box.width() / box.height()) > 1e-9) {
            context.ctm = viewBoxTransform(box, QRectF(0, 0, *width, *height),
                                           root.attribute.value(QStringLiteral("preserveAspectRatio")));
            out.attribute.insert(QStringLiteral("viewBox"), QStringLiteral("0 0 %1 %2").arg(number(*width), number(*height)));
            m_rootViewport = {*width, *height};
        } else {
            context.ctm = QTransform::fromTranslate(-box.x(), -box.y());
        }
    } else if (width && height && *width > 0 && *height > 0) {
        m_rootViewport = {*width, *height};
        out.attribute.insert(QStringLiteral("width"), number(*width));
        out.attribute.insert(QStringLiteral("height"), number(*height));
    } else {
        m_rootViewport = {16, 16};
    }
    context.viewport = m_rootViewport;
    rootViewport() = m_rootViewport;
    const AttributeSlots rootAttributes(root.attribute);
    context.style = computeStyle(rootAttributes, Style());
    if (m_hasDefinitions)
        buildDefinitions(root, 0, std::nullopt);
    QList<PreparedElement> content;
    buildChildren(root, context, content);
    // The root's own opacity, clip path and mask go on a group of its
    // content.
    PreparedElement wrapper;
    wrapper.elementName = groupName();
    wrapper.typed = true;
    Context rootContext = context;
    rootContext.ctm = QTransform();
    writeCommon(rootAttributes, rootContext, wrapper.values);
    wrapper.values.given &= ~PreparedValues::kId;
    wrapper.values.id.clear();
    out.childElements = std::move(m_definitions);
    m_definitions.clear();
    if (wrapper.values.isEmpty()) {
        out.childElements += std::move(content);
    } else {
        wrapper.childElements = std::move(content);
        out.childElements.append(std::move(wrapper));
    }
    return out;
}

} // namespace

ReadResult readTree(QXmlStreamReader &reader, const PrepareLimits &limits)
{
    ReadResult result;
    reader.setNamespaceProcessing(false);
    QList<KTNSvgElement> stack;
    int skipped = 0; // depth inside elements beyond the limit
    bool svgPrefix = false;
    qsizetype count = 0;
    auto close = [&] {
        KTNSvgElement top = stack.takeLast();
        if (stack.isEmpty()) {
            if (!result.hasRoot) {
                result.root = std::move(top);
                result.hasRoot = true;
            }
        } else {
            stack.last().childElements.append(std::move(top));
        }
    };
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (skipped > 0 || stack.size() >= limits.maxDepth || count >= limits.maxElements) {
                ++skipped;
                result.limitReached = true;
                continue;
            }
            ++count;
            KTNSvgElement node;
            QString name = reader.qualifiedName().toString();
            // "svg:rect" in a document that declares the prefix.
            for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                if (attribute.qualifiedName() == QLatin1String("xmlns:svg")
                    && attribute.value() == QLatin1String("http://www.w3.org/2000/svg"))
                    svgPrefix = true;
            }
            if (svgPrefix && name.startsWith(QLatin1String("svg:")))
                name = name.mid(4);
            node.elementName = name;
            for (const QXmlStreamAttribute &attribute : reader.attributes())
                node.attribute.insert(attribute.qualifiedName().toString(), attribute.value().toString());
            stack.append(std::move(node));
        } else if (token == QXmlStreamReader::EndElement) {
            if (skipped > 0) {
                --skipped;
                continue;
            }
            if (!stack.isEmpty())
                close();
        } else if (token == QXmlStreamReader::Characters) {
            if (skipped == 0 && !stack.isEmpty() && stack.last().elementName == QLatin1String("style")
                && stack.last().text.size() < (1 << 20))
                stack.last().text += reader.text();
        }
    }
    // An error leaves elements open: they close as if their ends had come.
    while (!stack.isEmpty())
        close();
    return result;
}

PrepareResult prepareTree(KTNSvgElement &root, const PrepareLimits &limits, PreparedElement &prepared)
{
    PrepareResult result;
    QString sheets;
    bool styled = false;
    QHash<QString, const KTNSvgElement *> ids;
    bool definitions = false;
    collectStyleSheets(std::as_const(root), sheets, styled, definitions, ids, 0, limits.maxDepth);
    if (styled || !sheets.isEmpty()) {
        Cascade cascadeState;
        if (!sheets.isEmpty()) {
            // Icon themes repeat one sheet in every file: the last sheet
            // read on this thread is kept with its rules.
            thread_local QString lastSheets;
            thread_local QList<Rule> lastRules;
            if (sheets != lastSheets) {
                int order = 0;
                lastRules = parseStyleSheet(sheets, order);
                lastSheets = sheets;
            }
            cascadeState.rules = lastRules;
        }
        // Selector tests for the whole document.
        cascadeState.work = 20'000'000;
        std::vector<Ancestor> chain;
        cascade(root, chain, true, cascadeState, 0, limits.maxDepth);
        // Trees shared with the registry's are copied where the cascade
        // changes them: the elements found by identifier have moved.
        if (cascadeState.moved) {
            ids.clear();
            collectIdentifiers(root, ids, 0, limits.maxDepth);
        }
    }
    Builder builder(ids, limits, definitions);
    prepared = builder.buildRoot(root);
    result.limitReached = builder.limitReached();
    return result;
}

namespace {

// The shortest text that reads back as `value` exactly.
QString exactNumber(double value)
{
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("1e999") : QStringLiteral("-1e999");
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString paintText(const PreparedPaint &paint)
{
    switch (paint.kind) {
    case 0:
        return QStringLiteral("none");
    case 2:
        return QStringLiteral("url(#%1)").arg(paint.text);
    default:
        return paint.text;
    }
}

} // namespace

void writeOutValues(PreparedElement &tree)
{
    for (PreparedElement &child : tree.childElements)
        writeOutValues(child);
    if (!tree.typed)
        return;
    using V = PreparedValues;
    const V &v = tree.values;
    KTNSVGAttributes &out = tree.attribute;
    auto put = [&](V::Field field, const char *name, const QString &text) {
        if (v.given & field)
            out.insert(QLatin1String(name), text);
    };
    put(V::kId, "id", v.id);
    put(V::kOpacity, "opacity", exactNumber(v.opacity));
    put(V::kFill, "fill", paintText(v.fill));
    put(V::kFillOpacity, "fill-opacity", exactNumber(v.fillOpacity));
    put(V::kFillRule, "fill-rule", v.fillRule == 1 ? QStringLiteral("evenodd") : QStringLiteral("nonzero"));
    put(V::kStroke, "stroke", paintText(v.stroke));
    put(V::kStrokeOpacity, "stroke-opacity", exactNumber(v.strokeOpacity));
    put(V::kStrokeWidth, "stroke-width", exactNumber(v.strokeWidth));
    static const char *const caps[] = {"butt", "round", "square"};
    static const char *const joins[] = {"miter", "round", "bevel"};
    put(V::kLineCap, "stroke-linecap", QLatin1String(caps[std::clamp(v.lineCap, 0, 2)]));
    put(V::kLineJoin, "stroke-linejoin", QLatin1String(joins[std::clamp(v.lineJoin, 0, 2)]));
    put(V::kMiterLimit, "stroke-miterlimit", exactNumber(v.miterLimit));
    put(V::kDashArray, "stroke-dasharray", v.dashArray);
    put(V::kDashOffset, "stroke-dashoffset", exactNumber(v.dashOffset));
    put(V::kClipPath, "clip-path", QStringLiteral("url(#%1)").arg(v.clipPath));
    put(V::kMask, "mask", QStringLiteral("url(#%1)").arg(v.mask));
    if (v.given & V::kTransform) {
        const QTransform &t = v.transform;
        out.insert(QStringLiteral("transform"),
                   QStringLiteral("matrix(%1 %2 %3 %4 %5 %6)")
                       .arg(exactNumber(t.m11()), exactNumber(t.m12()), exactNumber(t.m21()), exactNumber(t.m22()),
                            exactNumber(t.dx()), exactNumber(t.dy())));
    }
    const QString &name = tree.elementName;
    const bool path = name == QLatin1String("path");
    if (v.given & V::kPathData)
        out.insert(path ? QStringLiteral("d") : QStringLiteral("points"), v.pathData);
    if (v.given & V::kOtherOutline)
        out.insert(path ? QStringLiteral("points") : QStringLiteral("d"), QString());
    static const QHash<QString, QList<const char *>> geometry{
        {QStringLiteral("rect"), {"x", "y", "width", "height", "rx", "ry"}},
        {QStringLiteral("circle"), {"cx", "cy", "r"}},
        {QStringLiteral("ellipse"), {"cx", "cy", "rx", "ry"}},
        {QStringLiteral("line"), {"x1", "y1", "x2", "y2"}},
    };
    const QList<const char *> keys = geometry.value(name);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (v.geometryGiven & (1u << i))
            out.insert(QLatin1String(keys[i]), exactNumber(v.geometry[i]));
    }
    tree.typed = false;
    tree.values = PreparedValues();
}

} // namespace kalvo::svg
