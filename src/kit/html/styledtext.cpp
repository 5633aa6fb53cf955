// The run storage of StyledText: a sorted vector of small runs covering the
// text without gaps, adjacent runs always different, each referring to an
// attribute entry kept beside them (plain runs to none). Runs are small, so
// building, copying and dropping a styled text costs little per run, and
// plain stretches cost nothing beyond their range. Edits split the runs at
// the range's ends, store changed copies of the entries of the runs in
// between and merge equal neighbours again, so an edit costs a binary search
// plus the runs it touches (and the vector shift of the splits). Builders that add many overlapping ranges at once
// (the snippet parser) sweep them into runs in one pass instead of calling
// addAttributes per range; see html_snippet_runs.h.
#include <kalvo/html/styledtext.h>

#include <QObject>

#include <algorithm>
#include <limits>

namespace kalvo {

const QString TNLinkAttributeName = QStringLiteral("TNLinkAttributeName");
const QString TNTarget = QStringLiteral("TNTarget");
const QString TNAction = QStringLiteral("TNAction");
const QString TNAXRole = QStringLiteral("TNAXRole");
const QString TNAXButtonRole = QStringLiteral("AXButton");

// ---- TextAttributes ----

bool TextAttributes::isEmpty() const
{
    return !foregroundColor && !font && !underline && !cursor && !attachment && !link && !target && !action && !axRole
        && !headIndent && !paragraphSpacing && others.empty();
}

void TextAttributes::merge(const TextAttributes &over)
{
    if (over.foregroundColor)
        foregroundColor = over.foregroundColor;
    if (over.headIndent)
        headIndent = over.headIndent;
    if (over.paragraphSpacing)
        paragraphSpacing = over.paragraphSpacing;
    if (over.font)
        font = over.font;
    if (over.underline)
        underline = over.underline;
    if (over.cursor)
        cursor = over.cursor;
    if (over.attachment)
        attachment = over.attachment;
    if (over.link)
        link = over.link;
    if (over.target)
        target = over.target;
    if (over.action)
        action = over.action;
    if (over.axRole)
        axRole = over.axRole;
    for (const auto &[name, value] : over.others)
        others.insert_or_assign(name, value);
}

namespace {

bool sameTarget(const std::optional<QPointer<QObject>> &a, const std::optional<QPointer<QObject>> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || a->data() == b->data();
}

bool sameFont(const std::optional<QFont> &a, const std::optional<QFont> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || *a == *b;
}

} // namespace

// Colours and attachments are objects: the same object, not an equal one
// (the colour factory hands out one object per value anyway).
bool operator==(const TextAttributes &a, const TextAttributes &b)
{
    return a.foregroundColor == b.foregroundColor && a.attachment == b.attachment && a.underline == b.underline
        && a.cursor == b.cursor && a.link == b.link && a.action == b.action && a.axRole == b.axRole
        && a.headIndent == b.headIndent && a.paragraphSpacing == b.paragraphSpacing && sameTarget(a.target, b.target)
        && sameFont(a.font, b.font) && a.others == b.others;
}

// ---- StyledText: storage ----

namespace {

const TextAttributes &noAttributes()
{
    static const TextAttributes none;
    return none;
}

TextRange clamped(TextRange range, qsizetype length)
{
    if (range.length <= 0) {
        const qsizetype at = std::clamp<qsizetype>(range.location, 0, length);
        return {at, 0};
    }
    // The end without overflow, then both ends into the text.
    const qsizetype limit = std::numeric_limits<qsizetype>::max();
    const qsizetype end
        = range.location > 0 && range.length > limit - range.location ? limit : range.location + range.length;
    const qsizetype start = std::clamp<qsizetype>(range.location, 0, length);
    return {start, std::clamp<qsizetype>(end, start, length) - start};
}

} // namespace

const TextAttributes &StyledText::attributesOf(const Span &span) const
{
    return span.attributes >= 0 ? m_attributes[std::size_t(span.attributes)] : noAttributes();
}

bool StyledText::sameAttributes(const Span &a, const Span &b) const
{
    return a.attributes == b.attributes || attributesOf(a) == attributesOf(b);
}

qsizetype StyledText::store(TextAttributes &&attributes)
{
    if (attributes.isEmpty())
        return -1;
    m_attributes.push_back(std::move(attributes));
    return qsizetype(m_attributes.size()) - 1;
}

void StyledText::compactAttributes()
{
    if (m_attributes.size() <= 2 * m_runs.size() + 8)
        return;
    std::vector<qsizetype> moved(m_attributes.size(), -1);
    std::vector<TextAttributes> kept;
    kept.reserve(m_runs.size());
    for (Span &run : m_runs) {
        if (run.attributes < 0)
            continue;
        qsizetype &to = moved[std::size_t(run.attributes)];
        if (to < 0) {
            to = qsizetype(kept.size());
            kept.push_back(std::move(m_attributes[std::size_t(run.attributes)]));
        }
        run.attributes = to;
    }
    m_attributes = std::move(kept);
}

// ---- StyledText: construction and text edits ----

StyledText::StyledText(const QString &text, const TextAttributes &attributes) : m_text(text)
{
    if (!m_text.isEmpty())
        m_runs.push_back({{0, m_text.size()}, store(TextAttributes(attributes))});
}

StyledText StyledText::attachmentString(const TextAttachmentPtr &attachment)
{
    TextAttributes attributes;
    attributes.attachment = attachment;
    return StyledText(QString(QChar(kAttachmentCharacter)), attributes);
}

void StyledText::append(const QString &text, const TextAttributes &attributes)
{
    if (text.isEmpty())
        return;
    const qsizetype start = m_text.size();
    m_text.append(text);
    if (!m_runs.empty() && attributesOf(m_runs.back()) == attributes)
        m_runs.back().range.length += text.size();
    else
        m_runs.push_back({{start, text.size()}, store(TextAttributes(attributes))});
}

void StyledText::append(const StyledText &other)
{
    if (other.isEmpty())
        return;
    if (&other == this) {
        const StyledText copy = other;
        append(copy);
        return;
    }
    const qsizetype shift = m_text.size();
    m_text.append(other.m_text);
    m_runs.reserve(m_runs.size() + other.m_runs.size());
    // Each entry of `other` is copied once, however many runs refer to it.
    std::vector<qsizetype> copied(other.m_attributes.size(), -1);
    for (const Span &run : other.m_runs) {
        const TextAttributes &attributes = other.attributesOf(run);
        if (!m_runs.empty() && attributesOf(m_runs.back()) == attributes) {
            m_runs.back().range.length += run.range.length;
            continue;
        }
        qsizetype index = -1;
        if (run.attributes >= 0) {
            qsizetype &to = copied[std::size_t(run.attributes)];
            if (to < 0)
                to = store(TextAttributes(attributes));
            index = to;
        }
        m_runs.push_back({{run.range.location + shift, run.range.length}, index});
    }
}

void StyledText::remove(TextRange range)
{
    range = clamped(range, m_text.size());
    if (range.isEmpty())
        return;
    const qsizetype start = range.location;
    const qsizetype end = range.end();
    m_text.remove(start, range.length);

    std::size_t out = 0;
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
        Span run = m_runs[i];
        const qsizetype runStart = run.range.location;
        const qsizetype runEnd = run.range.end();
        if (runStart >= end) {
            run.range.location -= range.length;
        } else if (runEnd > start) {
            // Overlaps the removed range: keep what lies outside it.
            const qsizetype remaining
                = std::max<qsizetype>(0, start - runStart) + std::max<qsizetype>(0, runEnd - end);
            if (remaining == 0)
                continue;
            run.range.location = std::min(runStart, start);
            run.range.length = remaining;
        }
        m_runs[out++] = run;
    }
    m_runs.resize(out);
    normalize();
}

void StyledText::replace(TextRange range, const QString &text)
{
    range = clamped(range, m_text.size());
    // The new text takes the attributes of the range's first character; an
    // empty range at the end has none, so the character before answers.
    // (A copy: the removal may renumber the entries.)
    TextAttributes attributes;
    if (range.location < m_text.size())
        attributes = attributesOf(m_runs[spanIndexAt(range.location)]);
    else if (range.location > 0)
        attributes = attributesOf(m_runs[spanIndexAt(range.location - 1)]);

    remove(range);
    if (text.isEmpty())
        return;

    const qsizetype at = range.location;
    m_text.insert(at, text);
    // Find the run containing `at` (or the end) and split it around the insert.
    auto it = std::upper_bound(
        m_runs.begin(), m_runs.end(), at, [](qsizetype pos, const Span &run) { return pos < run.range.location; });
    std::size_t index = std::size_t(it - m_runs.begin()); // first run starting after `at`
    if (index > 0 && m_runs[index - 1].range.end() > at) {
        // `at` lies inside run index-1: split it.
        Span &inside = m_runs[index - 1];
        const Span tail {{at, inside.range.end() - at}, inside.attributes};
        inside.range.length = at - inside.range.location;
        m_runs.insert(m_runs.begin() + std::ptrdiff_t(index), tail);
        if (m_runs[index - 1].range.length == 0) {
            m_runs.erase(m_runs.begin() + std::ptrdiff_t(index - 1));
            --index;
        }
    }
    for (std::size_t i = index; i < m_runs.size(); ++i)
        m_runs[i].range.location += text.size();
    m_runs.insert(m_runs.begin() + std::ptrdiff_t(index), Span {{at, text.size()}, store(std::move(attributes))});
    normalize();
}

// ---- StyledText: attributes ----

// Index of the run containing `pos` (runs cover the text, pos < length).
std::size_t StyledText::spanIndexAt(qsizetype pos) const
{
    auto it = std::upper_bound(
        m_runs.begin(), m_runs.end(), pos, [](qsizetype p, const Span &run) { return p < run.range.location; });
    return std::size_t(it - m_runs.begin()) - 1;
}

// Splits so that a run starts at `pos` (0 < pos < length) and returns its
// index. Both halves keep the one entry.
std::size_t StyledText::splitAt(qsizetype pos)
{
    const std::size_t index = spanIndexAt(pos);
    Span &run = m_runs[index];
    if (run.range.location == pos)
        return index;
    const Span tail {{pos, run.range.end() - pos}, run.attributes};
    run.range.length = pos - run.range.location;
    m_runs.insert(m_runs.begin() + std::ptrdiff_t(index + 1), tail);
    return index + 1;
}

// Merges equal neighbours among runs[first-1 .. last+1].
void StyledText::mergeAround(std::size_t first, std::size_t last)
{
    std::size_t from = first > 0 ? first - 1 : 0;
    std::size_t to = std::min(last + 1, m_runs.size() - 1);
    std::size_t out = from;
    for (std::size_t i = from + 1; i <= to; ++i) {
        if (sameAttributes(m_runs[out], m_runs[i])) {
            m_runs[out].range.length += m_runs[i].range.length;
        } else {
            ++out;
            m_runs[out] = m_runs[i];
        }
    }
    if (to > out)
        m_runs.erase(m_runs.begin() + std::ptrdiff_t(out + 1), m_runs.begin() + std::ptrdiff_t(to + 1));
}

// Applies `change` to the attributes of every run inside `range` (clamped,
// non-empty), splitting at the ends and merging afterwards. The changed
// attributes are stored anew (runs outside the range may share the old
// entry); runs inside that shared one entry share the new one.
template<typename Change> void StyledText::editRange(TextRange range, Change &&change)
{
    const qsizetype textLength = m_text.size();
    range = clamped(range, textLength);
    if (range.isEmpty() || m_runs.empty())
        return;
    const std::size_t first = range.location > 0 ? splitAt(range.location) : 0;
    const std::size_t afterLast = range.end() < textLength ? splitAt(range.end()) : m_runs.size();
    std::vector<std::pair<qsizetype, qsizetype>> changed; // (old entry, new entry)
    for (std::size_t i = first; i < afterLast; ++i) {
        const qsizetype old = m_runs[i].attributes;
        auto done = std::find_if(changed.begin(), changed.end(), [old](const auto &entry) { return entry.first == old; });
        if (done != changed.end()) {
            m_runs[i].attributes = done->second;
            continue;
        }
        TextAttributes attributes = attributesOf(m_runs[i]);
        change(attributes);
        m_runs[i].attributes = store(std::move(attributes));
        if (changed.size() < 8)
            changed.emplace_back(old, m_runs[i].attributes);
    }
    mergeAround(first, afterLast - 1);
    compactAttributes();
}

namespace {

enum class Named { Link, Target, Action, AXRole, Other };

Named namedAttribute(const QString &name)
{
    if (name == TNLinkAttributeName)
        return Named::Link;
    if (name == TNTarget)
        return Named::Target;
    if (name == TNAction)
        return Named::Action;
    if (name == TNAXRole)
        return Named::AXRole;
    return Named::Other;
}

QVariant namedValue(const TextAttributes &attributes, Named named, const QString &name)
{
    switch (named) {
    case Named::Link:
        return attributes.link ? QVariant(*attributes.link) : QVariant();
    case Named::Target:
        return attributes.target ? QVariant::fromValue<QObject *>(attributes.target->data()) : QVariant();
    case Named::Action:
        return attributes.action ? QVariant(*attributes.action) : QVariant();
    case Named::AXRole:
        return attributes.axRole ? QVariant(*attributes.axRole) : QVariant();
    case Named::Other:
        break;
    }
    auto it = attributes.others.find(name);
    return it == attributes.others.end() ? QVariant() : it->second;
}

} // namespace

void StyledText::addAttributes(const TextAttributes &attributes, TextRange range)
{
    if (attributes.isEmpty())
        return;
    editRange(range, [&](TextAttributes &run) { run.merge(attributes); });
}

void StyledText::setAttributes(const TextAttributes &attributes, TextRange range)
{
    editRange(range, [&](TextAttributes &run) { run = attributes; });
}

void StyledText::addForegroundColor(const ColorPtr &color, TextRange range)
{
    if (!color)
        return;
    editRange(range, [&](TextAttributes &run) { run.foregroundColor = color; });
}

void StyledText::addFont(const QFont &font, TextRange range)
{
    editRange(range, [&](TextAttributes &run) { run.font = font; });
}

void StyledText::addUnderline(UnderlineStyle style, TextRange range)
{
    editRange(range, [&](TextAttributes &run) { run.underline = style; });
}

void StyledText::addCursor(Qt::CursorShape cursor, TextRange range)
{
    editRange(range, [&](TextAttributes &run) { run.cursor = cursor; });
}

void StyledText::addAttribute(const QString &name, const QVariant &value, TextRange range)
{
    TextAttributes attributes;
    switch (namedAttribute(name)) {
    case Named::Link:
        attributes.link = value.toString();
        break;
    case Named::Target:
        attributes.target = QPointer<QObject>(value.value<QObject *>());
        break;
    case Named::Action:
        attributes.action = value.toString();
        break;
    case Named::AXRole:
        attributes.axRole = value.toString();
        break;
    case Named::Other:
        attributes.others.emplace(name, value);
        break;
    }
    addAttributes(attributes, range);
}

void StyledText::removeAttribute(const QString &name, TextRange range)
{
    const Named named = namedAttribute(name);
    editRange(range, [&](TextAttributes &run) {
        switch (named) {
        case Named::Link:
            run.link.reset();
            break;
        case Named::Target:
            run.target.reset();
            break;
        case Named::Action:
            run.action.reset();
            break;
        case Named::AXRole:
            run.axRole.reset();
            break;
        case Named::Other:
            run.others.erase(name);
            break;
        }
    });
}

TextAttributes StyledText::attributesAt(qsizetype index, TextRange *effective) const
{
    if (index < 0 || index >= m_text.size() || m_runs.empty()) {
        if (effective)
            *effective = {};
        return {};
    }
    const Span &run = m_runs[spanIndexAt(index)];
    if (effective)
        *effective = run.range;
    return attributesOf(run);
}

QVariant StyledText::attribute(const QString &name, qsizetype index, TextRange *effective) const
{
    if (index < 0 || index >= m_text.size() || m_runs.empty()) {
        if (effective)
            *effective = {};
        return {};
    }
    const Named named = namedAttribute(name);
    const std::size_t at = spanIndexAt(index);
    const QVariant value = namedValue(attributesOf(m_runs[at]), named, name);
    if (effective) {
        // The whole stretch around `index` where the attribute has this value.
        std::size_t first = at;
        while (first > 0 && namedValue(attributesOf(m_runs[first - 1]), named, name) == value)
            --first;
        std::size_t last = at;
        while (last + 1 < m_runs.size() && namedValue(attributesOf(m_runs[last + 1]), named, name) == value)
            ++last;
        *effective = {m_runs[first].range.location, m_runs[last].range.end() - m_runs[first].range.location};
    }
    return value;
}

std::vector<StyledRun> StyledText::runs() const
{
    std::vector<StyledRun> result;
    result.reserve(m_runs.size());
    for (const Span &run : m_runs)
        result.push_back({run.range, attributesOf(run)});
    return result;
}

std::vector<std::pair<qsizetype, TextAttachmentPtr>> StyledText::attachments() const
{
    std::vector<std::pair<qsizetype, TextAttachmentPtr>> result;
    for (const Span &run : m_runs) {
        const TextAttachmentPtr &attachment = attributesOf(run).attachment;
        if (!attachment)
            continue;
        for (qsizetype i = run.range.location; i < run.range.end(); ++i) {
            if (m_text.at(i).unicode() == kAttachmentCharacter)
                result.emplace_back(i, attachment);
        }
    }
    return result;
}

bool operator==(const StyledText &a, const StyledText &b)
{
    if (a.m_text != b.m_text || a.m_runs.size() != b.m_runs.size())
        return false;
    for (std::size_t i = 0; i < a.m_runs.size(); ++i) {
        if (a.m_runs[i].range != b.m_runs[i].range || !(a.attributesOf(a.m_runs[i]) == b.attributesOf(b.m_runs[i])))
            return false;
    }
    return true;
}

void StyledText::normalize()
{
    std::size_t out = 0;
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
        const Span run = m_runs[i];
        if (run.range.length <= 0)
            continue;
        if (out > 0 && sameAttributes(m_runs[out - 1], run))
            m_runs[out - 1].range.length += run.range.length;
        else
            m_runs[out++] = run;
    }
    m_runs.resize(out);
    compactAttributes();
}

} // namespace kalvo
