// The run storage of StyledText: a sorted vector of runs covering the text
// without gaps, adjacent runs always different. Edits split the runs at the
// range's ends, change the runs in between and merge equal neighbours again,
// so an edit costs a binary search plus the runs it touches (and the vector
// shift of the splits). Builders that add many overlapping ranges at once
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

// ---- StyledText: construction and text edits ----

namespace {

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

StyledText::StyledText(const QString &text, const TextAttributes &attributes) : m_text(text)
{
    if (!m_text.isEmpty())
        m_runs.push_back({{0, m_text.size()}, attributes});
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
    if (!m_runs.empty() && m_runs.back().attributes == attributes)
        m_runs.back().range.length += text.size();
    else
        m_runs.push_back({{start, text.size()}, attributes});
}

void StyledText::append(const StyledText &other)
{
    if (other.isEmpty())
        return;
    const qsizetype shift = m_text.size();
    m_text.append(other.m_text);
    m_runs.reserve(m_runs.size() + other.m_runs.size());
    for (const StyledRun &run : other.m_runs) {
        if (!m_runs.empty() && m_runs.back().attributes == run.attributes)
            m_runs.back().range.length += run.range.length;
        else
            m_runs.push_back({{run.range.location + shift, run.range.length}, run.attributes});
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

    std::vector<StyledRun> kept;
    kept.reserve(m_runs.size());
    for (StyledRun &run : m_runs) {
        const qsizetype runStart = run.range.location;
        const qsizetype runEnd = run.range.end();
        if (runEnd <= start) {
            kept.push_back(std::move(run));
            continue;
        }
        if (runStart >= end) {
            run.range.location -= range.length;
            kept.push_back(std::move(run));
            continue;
        }
        // Overlaps the removed range: keep what lies outside it.
        const qsizetype remaining = std::max<qsizetype>(0, start - runStart) + std::max<qsizetype>(0, runEnd - end);
        if (remaining > 0) {
            run.range.location = std::min(runStart, start);
            run.range.length = remaining;
            kept.push_back(std::move(run));
        }
    }
    m_runs = std::move(kept);
    normalize();
}

void StyledText::replace(TextRange range, const QString &text)
{
    range = clamped(range, m_text.size());
    // The new text takes the attributes of the range's first character; an
    // empty range at the end has none, so the character before answers.
    TextAttributes attributes;
    if (range.location < m_text.size())
        attributes = attributesAt(range.location);
    else if (range.location > 0)
        attributes = attributesAt(range.location - 1);

    remove(range);
    if (text.isEmpty())
        return;

    const qsizetype at = range.location;
    m_text.insert(at, text);
    // Find the run containing `at` (or the end) and split it around the insert.
    auto it = std::upper_bound(
        m_runs.begin(), m_runs.end(), at, [](qsizetype pos, const StyledRun &run) { return pos < run.range.location; });
    std::size_t index = std::size_t(it - m_runs.begin()); // first run starting after `at`
    std::vector<StyledRun> pieces;
    if (index > 0 && m_runs[index - 1].range.end() > at) {
        // `at` lies inside run index-1: split it.
        StyledRun &inside = m_runs[index - 1];
        StyledRun tail {{at, inside.range.end() - at}, inside.attributes};
        inside.range.length = at - inside.range.location;
        m_runs.insert(m_runs.begin() + std::ptrdiff_t(index), std::move(tail));
        if (m_runs[index - 1].range.length == 0) {
            m_runs.erase(m_runs.begin() + std::ptrdiff_t(index - 1));
            --index;
        }
    }
    for (std::size_t i = index; i < m_runs.size(); ++i)
        m_runs[i].range.location += text.size();
    m_runs.insert(m_runs.begin() + std::ptrdiff_t(index), StyledRun {{at, text.size()}, std::move(attributes)});
    normalize();
}

// ---- StyledText: attributes ----

namespace {

// Index of the run containing `pos` (runs cover the text, pos < length).
std::size_t runIndexAt(const std::vector<StyledRun> &runs, qsizetype pos)
{
    auto it = std::upper_bound(
        runs.begin(), runs.end(), pos, [](qsizetype p, const StyledRun &run) { return p < run.range.location; });
    return std::size_t(it - runs.begin()) - 1;
}

// Splits so that a run starts at `pos` (0 < pos < length) and returns its index.
std::size_t splitAt(std::vector<StyledRun> &runs, qsizetype pos)
{
    const std::size_t index = runIndexAt(runs, pos);
    StyledRun &run = runs[index];
    if (run.range.location == pos)
        return index;
    StyledRun tail {{pos, run.range.end() - pos}, run.attributes};
    run.range.length = pos - run.range.location;
    runs.insert(runs.begin() + std::ptrdiff_t(index + 1), std::move(tail));
    return index + 1;
}

// Merges equal neighbours among runs[first-1 .. last+1].
void mergeAround(std::vector<StyledRun> &runs, std::size_t first, std::size_t last)
{
    std::size_t from = first > 0 ? first - 1 : 0;
    std::size_t to = std::min(last + 1, runs.size() - 1);
    std::size_t out = from;
    for (std::size_t i = from + 1; i <= to; ++i) {
        if (runs[out].attributes == runs[i].attributes) {
            runs[out].range.length += runs[i].range.length;
        } else {
            ++out;
            if (out != i)
                runs[out] = std::move(runs[i]);
        }
    }
    const std::size_t removed = to - out;
    if (removed > 0)
        runs.erase(runs.begin() + std::ptrdiff_t(out + 1), runs.begin() + std::ptrdiff_t(to + 1));
}

// Applies `change` to the attributes of every run inside `range` (clamped,
// non-empty), splitting at the ends and merging afterwards.
template<typename Change>
void editRange(std::vector<StyledRun> &runs, qsizetype textLength, TextRange range, Change &&change)
{
    range = clamped(range, textLength);
    if (range.isEmpty() || runs.empty())
        return;
    const std::size_t first = range.location > 0 ? splitAt(runs, range.location) : 0;
    const std::size_t afterLast = range.end() < textLength ? splitAt(runs, range.end()) : runs.size();
    for (std::size_t i = first; i < afterLast; ++i)
        change(runs[i].attributes);
    mergeAround(runs, first, afterLast - 1);
}

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
    editRange(m_runs, m_text.size(), range, [&](TextAttributes &run) { run.merge(attributes); });
}

void StyledText::setAttributes(const TextAttributes &attributes, TextRange range)
{
    editRange(m_runs, m_text.size(), range, [&](TextAttributes &run) { run = attributes; });
}

void StyledText::addForegroundColor(const ColorPtr &color, TextRange range)
{
    if (!color)
        return;
    editRange(m_runs, m_text.size(), range, [&](TextAttributes &run) { run.foregroundColor = color; });
}

void StyledText::addFont(const QFont &font, TextRange range)
{
    editRange(m_runs, m_text.size(), range, [&](TextAttributes &run) { run.font = font; });
}

void StyledText::addUnderline(UnderlineStyle style, TextRange range)
{
    editRange(m_runs, m_text.size(), range, [&](TextAttributes &run) { run.underline = style; });
}

void StyledText::addCursor(Qt::CursorShape cursor, TextRange range)
{
    editRange(m_runs, m_text.size(), range, [&](TextAttributes &run) { run.cursor = cursor; });
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
    editRange(m_runs, m_text.size(), range, [&](TextAttributes &run) {
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
    const StyledRun &run = m_runs[runIndexAt(m_runs, index)];
    if (effective)
        *effective = run.range;
    return run.attributes;
}

QVariant StyledText::attribute(const QString &name, qsizetype index, TextRange *effective) const
{
    if (index < 0 || index >= m_text.size() || m_runs.empty()) {
        if (effective)
            *effective = {};
        return {};
    }
    const Named named = namedAttribute(name);
    const std::size_t at = runIndexAt(m_runs, index);
    const QVariant value = namedValue(m_runs[at].attributes, named, name);
    if (effective) {
        // The whole stretch around `index` where the attribute has this value.
        std::size_t first = at;
        while (first > 0 && namedValue(m_runs[first - 1].attributes, named, name) == value)
            --first;
        std::size_t last = at;
        while (last + 1 < m_runs.size() && namedValue(m_runs[last + 1].attributes, named, name) == value)
            ++last;
        *effective = {m_runs[first].range.location, m_runs[last].range.end() - m_runs[first].range.location};
    }
    return value;
}

std::vector<StyledRun> StyledText::runs() const
{
    return m_runs;
}

std::vector<std::pair<qsizetype, TextAttachmentPtr>> StyledText::attachments() const
{
    std::vector<std::pair<qsizetype, TextAttachmentPtr>> result;
    for (const StyledRun &run : m_runs) {
        if (!run.attributes.attachment)
            continue;
        for (qsizetype i = run.range.location; i < run.range.end(); ++i) {
            if (m_text.at(i).unicode() == kAttachmentCharacter)
                result.emplace_back(i, run.attributes.attachment);
        }
    }
    return result;
}

bool operator==(const StyledText &a, const StyledText &b)
{
    if (a.m_text != b.m_text || a.m_runs.size() != b.m_runs.size())
        return false;
    for (std::size_t i = 0; i < a.m_runs.size(); ++i) {
        if (a.m_runs[i].range != b.m_runs[i].range || !(a.m_runs[i].attributes == b.m_runs[i].attributes))
            return false;
    }
    return true;
}

void StyledText::normalize()
{
    std::vector<StyledRun> merged;
    merged.reserve(m_runs.size());
    for (StyledRun &run : m_runs) {
        if (run.range.length <= 0)
            continue;
        if (!merged.empty() && merged.back().attributes == run.attributes)
            merged.back().range.length += run.range.length;
        else
            merged.push_back(std::move(run));
    }
    m_runs = std::move(merged);
}

} // namespace kalvo
