// One sweep over the range boundaries: for every field an max-heap of the
// ranges that set it and cover the current position (ranges that ended are
// dropped lazily when they reach the top), so each boundary costs a few heap
// operations whatever the nesting depth.
#include "html_snippet_runs.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <map>
#include <utility>

namespace kalvo::html_detail {

namespace {

qsizetype endOf(TextRange range)
{
    const qsizetype limit = std::numeric_limits<qsizetype>::max();
    return range.location > 0 && range.length > limit - range.location ? limit : range.end();
}

} // namespace

void RunBuilder::add(TextRange range, TextAttributes attributes)
{
    if (range.isEmpty() || attributes.isEmpty())
        return;
    m_ops.emplace_back(range.location, endOf(range), std::move(attributes));
}

TextAttributes &RunBuilder::add(TextRange range)
{
    m_lastKept = !range.isEmpty();
    if (!m_lastKept) {
        m_discard = TextAttributes();
        return m_discard;
    }
    Op &op = m_ops.emplace_back();
    op.start = range.location;
    op.end = endOf(range);
    return op.attributes;
}

namespace {

enum Field : std::size_t {
    Foreground = 0,
    Font,
    Underline,
    Cursor,
    Attachment,
    Link,
    Target,
    Action,
    AXRole,
    HeadIndent,
    ParagraphSpacing,
    FieldTotal
};
static_assert(std::size_t(FieldTotal) == 11, "RunBuilder::FieldCount");

// The fields `a` sets, one bit each (without branches: which fields a
// range sets varies from range to range).
unsigned fieldsOf(const TextAttributes &a)
{
    return unsigned(bool(a.foregroundColor)) << Foreground | unsigned(a.font.has_value()) << Font
        | unsigned(a.underline.has_value()) << Underline | unsigned(a.cursor.has_value()) << Cursor
        | unsigned(bool(a.attachment)) << Attachment | unsigned(a.link.has_value()) << Link
        | unsigned(a.target.has_value()) << Target | unsigned(a.action.has_value()) << Action
        | unsigned(a.axRole.has_value()) << AXRole | unsigned(a.headIndent.has_value()) << HeadIndent
        | unsigned(a.paragraphSpacing.has_value()) << ParagraphSpacing;
}

// Copies one field, or moves it when `from` is not read again (fonts,
// strings and shared pointers then change hands without touching their
// reference counts).
void takeField(TextAttributes &to, TextAttributes &from, std::size_t field, bool move)
{
    auto take = [move](auto &target, auto &source) {
        if (move)
            target = std::move(source);
        else
            target = source;
    };
    switch (field) {
    case Foreground:
        take(to.foregroundColor, from.foregroundColor);
        break;
    case Font:
        take(to.font, from.font);
        break;
    case Underline:
        to.underline = from.underline;
        break;
    case Cursor:
        to.cursor = from.cursor;
        break;
    case Attachment:
        take(to.attachment, from.attachment);
        break;
    case Link:
        take(to.link, from.link);
        break;
    case Target:
        take(to.target, from.target);
        break;
    case Action:
        take(to.action, from.action);
        break;
    case AXRole:
        take(to.axRole, from.axRole);
        break;
    case HeadIndent:
        to.headIndent = from.headIndent;
        break;
    case ParagraphSpacing:
        to.paragraphSpacing = from.paragraphSpacing;
        break;
    }
}

// One field of `a` and `b` compared as operator== compares it.
bool sameField(const TextAttributes &a, const TextAttributes &b, std::size_t field)
{
    switch (field) {
    case Foreground:
        return a.foregroundColor == b.foregroundColor;
    case Font:
        return a.font.has_value() == b.font.has_value() && (!a.font || *a.font == *b.font);
    case Underline:
        return a.underline == b.underline;
    case Cursor:
        return a.cursor == b.cursor;
    case Attachment:
        return a.attachment == b.attachment;
    case Link:
        return a.link == b.link;
    case Target:
        return a.target.has_value() == b.target.has_value() && (!a.target || a.target->data() == b.target->data());
    case Action:
        return a.action == b.action;
    case AXRole:
        return a.axRole == b.axRole;
    case HeadIndent:
        return a.headIndent == b.headIndent;
    case ParagraphSpacing:
        return a.paragraphSpacing == b.paragraphSpacing;
    }
    return false;
}

const TextAttributes &noAttributes()
{
    static const TextAttributes none;
    return none;
}

// Appends an empty run at [from, to). Copying an empty run is the cheapest
// way in: emplace_back() zeroes all of it before constructing it, and
// moving a filled one copies its font (QFont cannot be move-constructed).
StyledRun &appendRun(std::vector<StyledRun> &runs, qsizetype from, qsizetype to)
{
    static const StyledRun empty;
    StyledRun &run = runs.emplace_back(empty);
    run.range = {from, to - from};
    return run;
}

// The live op with the highest index (the one added last), or -1.
int liveTop(std::vector<int> &heap, const std::vector<char> &ended)
{
    while (!heap.empty() && ended[std::size_t(heap.front())]) {
        std::pop_heap(heap.begin(), heap.end());
        heap.pop_back();
    }
    return heap.empty() ? -1 : heap.front();
}

void push(std::vector<int> &heap, int op)
{
    heap.push_back(op);
    std::push_heap(heap.begin(), heap.end());
}

} // namespace

// Whether a stretch whose fields come from the ops `tops` has the
// attributes of `run`, whose last stretch came from `lastTops` (without
// named extras). `fields` has a bit for every field set in either stretch
// (the others are unset in both). A field from the same op as before is
// the same; only the others are compared.
bool RunBuilder::sameAsRun(const TextAttributes &run, const int *tops, const int *lastTops, unsigned fields) const
{
    for (; fields; fields &= fields - 1) {
        const auto field = std::size_t(std::countr_zero(fields));
        if (tops[field] == lastTops[field])
            continue;
        const Op *op = tops[field] >= 0 ? &m_ops[std::size_t(tops[field])] : nullptr;
        if (field == Font && op && op->font) {
            if (!run.font || !(*run.font == *op->font))
                return false;
        } else if (!sameField(run, op ? op->attributes : noAttributes(), field)) {
            return false;
        }
    }
    return true;
}

unsigned RunBuilder::fieldsOf(const Op &op) const
{
    return html_detail::fieldsOf(op.attributes) | (op.font ? 1u << Font : 0u);
}

// Fills a new run from the ops `tops` (the fields set are the bits of
// `fields`); an op that ends with the run is not read again and gives its
// values away.
void RunBuilder::fillRun(TextAttributes &run, const int *tops, unsigned fields, qsizetype runEnd)
{
    for (; fields; fields &= fields - 1) {
        const auto field = std::size_t(std::countr_zero(fields));
        Op &op = m_ops[std::size_t(tops[field])];
        if (field == Font && op.font)
            run.font = *op.font;
        else
            takeField(run, op.attributes, field, op.end <= runEnd);
    }
}

// A typical message has a handful of ranges: painting the winning range of
// every field into each stretch between boundaries costs a few integer
// writes per range and stretch, less than the heaps. (Quadratic in the
// number of ranges, hence for small counts only.)
bool RunBuilder::paintSmall(std::vector<StyledRun> &runs, qsizetype length)
{
    // The boundaries sorted once as (position, range, start or end) keys;
    // one pass then gives the stretches and every range's first and last.
    static_assert(2 * kSmall < kNoRange, "range numbers fit below the marker");
    m_keys.clear();
    m_keys.push_back(std::uint64_t(0) << 8 | kNoRange);
    m_keys.push_back(std::uint64_t(length) << 8 | kNoRange);
    for (std::size_t k = 0; k < m_byStart.size(); ++k) {
        const Op &op = m_ops[std::size_t(m_byStart[k])];
        if (!op.attributes.others.empty())
            return false; // named extras: the general sweep handles them
        m_keys.push_back(std::uint64_t(op.start) << 8 | k << 1);
        m_keys.push_back(std::uint64_t(op.end) << 8 | k << 1 | 1);
    }
    std::sort(m_keys.begin(), m_keys.end());
    m_bounds.clear();
    m_starts.resize(m_byStart.size()); // first stretch of range k
    m_ends.resize(m_byStart.size()); // the stretch after its last
    for (const std::uint64_t key : m_keys) {
        const auto position = qsizetype(key >> 8);
        if (m_bounds.empty() || m_bounds.back() != position)
            m_bounds.push_back(position);
        const unsigned tag = key & 0xFF;
        if (tag != kNoRange)
            (tag & 1 ? m_ends : m_starts)[tag >> 1] = qsizetype(m_bounds.size()) - 1;
    }
    const std::size_t segments = m_bounds.size() - 1;
    m_paint.assign(segments * FieldCount, -1);
    m_fields.assign(segments, 0);
    for (std::size_t k = 0; k < m_byStart.size(); ++k) { // in the order added: later paints over
        const int index = m_byStart[k];
        const unsigned fields = fieldsOf(m_ops[std::size_t(index)]);
        if (!fields)
            continue;
        for (auto segment = std::size_t(m_starts[k]); segment < std::size_t(m_ends[k]); ++segment) {
            m_fields[segment] |= fields;
            int *tops = &m_paint[segment * FieldCount];
            for (unsigned bits = fields; bits; bits &= bits - 1)
                tops[std::countr_zero(bits)] = index;
        }
    }
    runs.reserve(segments);
    const int *previous = nullptr;
    unsigned previousFields = 0;
    for (std::size_t segment = 0; segment < segments; ++segment) {
        const int *tops = &m_paint[segment * FieldCount];
        const unsigned fields = m_fields[segment];
        const qsizetype from = m_bounds[segment];
        const qsizetype to = m_bounds[segment + 1];
        if (previous && sameAsRun(runs.back().attributes, tops, previous, fields | previousFields)) {
            runs.back().range.length += to - from;
        } else {
            fillRun(appendRun(runs, from, to).attributes, tops, fields, to);
        }
        previous = tops;
        previousFields = fields;
    }
    return true;
}

StyledText RunBuilder::build(QString text)
{
    StyledText result;
    const qsizetype length = text.size();
    result.m_text = std::move(text);
    if (length == 0)
        return result;
    auto &runs = result.m_runs;

    m_byStart.clear();
    for (std::size_t i = 0; i < m_ops.size(); ++i) {
        Op &op = m_ops[i];
        op.start = std::clamp<qsizetype>(op.start, 0, length);
        op.end = std::clamp<qsizetype>(op.end, op.start, length);
        if (op.end > op.start)
            m_byStart.push_back(int(i));
    }
    if (m_byStart.empty()) {
        appendRun(runs, 0, length);
        return result;
    }
    if (m_byStart.size() <= kSmall && paintSmall(runs, length))
        return result;
    m_byEnd = m_byStart;
    // Ties broken by index: a total order, so the plain sort is enough.
    // Positions copied out of the (large) ops so the sorts stay in cache.
    m_starts.resize(m_ops.size());
    m_ends.resize(m_ops.size());
    for (std::size_t i = 0; i < m_ops.size(); ++i) {
        m_starts[i] = m_ops[i].start;
        m_ends[i] = m_ops[i].end;
    }
    auto byStart = [&](int a, int b) {
        const qsizetype sa = m_starts[std::size_t(a)];
        const qsizetype sb = m_starts[std::size_t(b)];
        return sa != sb ? sa < sb : a < b;
    };
    auto byEnd = [&](int a, int b) {
        const qsizetype ea = m_ends[std::size_t(a)];
        const qsizetype eb = m_ends[std::size_t(b)];
        return ea != eb ? ea < eb : a < b;
    };
    // The parser adds its ranges nearly in order: check before sorting.
    if (!std::is_sorted(m_byStart.begin(), m_byStart.end(), byStart))
        std::sort(m_byStart.begin(), m_byStart.end(), byStart);
    if (!std::is_sorted(m_byEnd.begin(), m_byEnd.end(), byEnd))
        std::sort(m_byEnd.begin(), m_byEnd.end(), byEnd);

    for (auto &heap : m_heaps)
        heap.clear();
    std::map<QString, std::vector<int>> otherHeaps;
    m_ended.assign(m_ops.size(), 0);
    // Exactly as many runs as there can be: one per distinct boundary plus
    // the leading gap (runs are large; no over-reservation, no regrowth).
    {
        std::size_t boundaries = 1;
        std::size_t a = 0;
        std::size_t b = 0;
        qsizetype last = -1;
        while (a < m_byStart.size() || b < m_byEnd.size()) {
            const bool takeStart = b >= m_byEnd.size()
                || (a < m_byStart.size() && m_starts[std::size_t(m_byStart[a])] <= m_ends[std::size_t(m_byEnd[b])]);
            const qsizetype at = takeStart ? m_starts[std::size_t(m_byStart[a++])] : m_ends[std::size_t(m_byEnd[b++])];
            if (at != last && at < length)
                ++boundaries;
            last = at;
        }
        runs.reserve(boundaries);
    }

    // A run is written straight into the result and merged into the one
    // before when equal; a stretch whose winning ranges did not change
    // just extends the last run.
    std::array<int, FieldCount> tops;
    std::array<int, FieldCount> lastTops;
    lastTops.fill(-2);
    unsigned lastFields = 0;
    auto emitEmpty = [&](qsizetype from, qsizetype to) {
        if (!runs.empty() && runs.back().attributes.isEmpty())
            runs.back().range.length += to - from;
        else
            appendRun(runs, from, to);
    };

    std::size_t nextStart = 0;
    std::size_t nextEnd = 0;
    qsizetype pos = m_starts[std::size_t(m_byStart[0])];
    if (pos > 0)
        emitEmpty(0, pos);
    while (pos < length) {
        while (nextEnd < m_byEnd.size() && m_ends[std::size_t(m_byEnd[nextEnd])] <= pos)
            m_ended[std::size_t(m_byEnd[nextEnd++])] = 1;
        while (nextStart < m_byStart.size() && m_starts[std::size_t(m_byStart[nextStart])] <= pos) {
            const int op = m_byStart[nextStart++];
            const TextAttributes &attributes = m_ops[std::size_t(op)].attributes;
            for (unsigned fields = fieldsOf(m_ops[std::size_t(op)]); fields; fields &= fields - 1)
                push(m_heaps[std::size_t(std::countr_zero(fields))], op);
            for (const auto &entry : attributes.others)
                push(otherHeaps[entry.first], op);
        }
        qsizetype next = length;
        if (nextStart < m_byStart.size())
            next = std::min(next, m_starts[std::size_t(m_byStart[nextStart])]);
        if (nextEnd < m_byEnd.size())
            next = std::min(next, m_ends[std::size_t(m_byEnd[nextEnd])]);

        unsigned fields = 0;
        for (std::size_t field = 0; field < FieldCount; ++field) {
            tops[field] = liveTop(m_heaps[field], m_ended);
            if (tops[field] >= 0)
                fields |= 1u << field;
        }
        if (otherHeaps.empty() && !runs.empty()
            && sameAsRun(runs.back().attributes, tops.data(), lastTops.data(), fields | lastFields)) {
            runs.back().range.length += next - pos;
        } else {
            StyledRun &run = appendRun(runs, pos, next);
            fillRun(run.attributes, tops.data(), fields, next);
            for (auto &[name, heap] : otherHeaps) {
                const int top = liveTop(heap, m_ended);
                if (top >= 0)
                    run.attributes.others.insert_or_assign(name, m_ops[std::size_t(top)].attributes.others.at(name));
            }
            if (!otherHeaps.empty() && runs.size() > 1 && runs[runs.size() - 2].attributes == run.attributes) {
                runs[runs.size() - 2].range.length += run.range.length;
                runs.pop_back();
            }
        }
        lastTops = tops;
        lastFields = fields;
        pos = next;
    }
    return result;
}

} // namespace kalvo::html_detail
