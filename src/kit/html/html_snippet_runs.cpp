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
    m_ops.push_back({range.location, endOf(range), nullptr, false, 0});
    m_attributes.push_back(std::move(attributes));
}

TextAttributes &RunBuilder::add(TextRange range)
{
    m_lastKept = !range.isEmpty();
    if (!m_lastKept) {
        m_discard = TextAttributes();
        return m_discard;
    }
    m_ops.push_back({range.location, endOf(range), nullptr, false, 0});
    return m_attributes.emplace_back();
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

const TextAttributes kNoAttributes;

const TextAttributes &noAttributes()
{
    return kNoAttributes;
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
        const int op = tops[field];
        if (field == Font && op >= 0 && m_ops[std::size_t(op)].font) {
            if (!run.font || !(*run.font == *m_ops[std::size_t(op)].font))
                return false;
        } else if (!sameField(run, op >= 0 ? m_attributes[std::size_t(op)] : noAttributes(), field)) {
            return false;
        }
    }
    return true;
}

unsigned RunBuilder::fieldsOf(std::size_t op) const
{
    return m_ops[op].fields;
}

// Fills a new run from the ops `tops` (the fields set are the bits of
// `fields`); an op that ends with the run is not read again and gives its
// values away, unless a run refers to its entry.
void RunBuilder::fillRun(TextAttributes &run, const int *tops, unsigned fields, qsizetype runEnd)
{
    for (; fields; fields &= fields - 1) {
        const auto field = std::size_t(std::countr_zero(fields));
        const auto index = std::size_t(tops[field]);
        const Op &op = m_ops[index];
        if (field == Font && op.font)
            run.font = *op.font;
        else
            takeField(run, m_attributes[index], field, op.end <= runEnd && !op.shared);
    }
}

qsizetype RunBuilder::entryFor(const int *tops, unsigned fields, qsizetype runEnd)
{
    if (!fields)
        return -1;
    // Mostly a stretch has exactly one range's attributes: the run refers
    // to that range's entry, nothing is copied.
    const int single = tops[std::countr_zero(fields)];
    bool one = fieldsOf(std::size_t(single)) == fields;
    for (unsigned bits = fields; one && bits; bits &= bits - 1)
        one = tops[std::countr_zero(bits)] == single;
    if (one) {
        Op &op = m_ops[std::size_t(single)];
        if (op.font) {
            m_attributes[std::size_t(single)].font = *op.font;
            op.font = nullptr;
        }
        op.shared = true;
        return single;
    }
    // (Room was reserved: the entries the ops read stay where they are.)
    TextAttributes &run = m_attributes.emplace_back();
    fillRun(run, tops, fields, runEnd);
    return qsizetype(m_attributes.size()) - 1;
}

// Most messages style words apart from each other: no range crosses
// another, and where one lies inside another they cover the same text (a
// tag right inside another, "<b><font size=14>word</font></b>"). The runs
// are then the ranges themselves, each group of ranges over the same text
// taking the entry of its last range when that range sets every field the
// others set, with plain runs in the gaps. Anything else goes the general
// way.
bool RunBuilder::buildApart(StyledText &result, qsizetype length)
{
    qsizetype groupStart = -1;
    qsizetype groupEnd = 0;
    unsigned groupFields = 0;
    for (const int index : m_byStart) {
        const Op &op = m_ops[std::size_t(index)];
        if (!m_attributes[std::size_t(index)].others.empty())
            return false;
        if (!op.fields)
            continue;
        if (op.start == groupStart && op.end == groupEnd) {
            if (groupFields & ~op.fields)
                return false; // the earlier range would keep some of its fields
            groupFields = op.fields;
        } else if (op.start >= groupEnd) {
            groupStart = op.start;
            groupEnd = op.end;
            groupFields = op.fields;
        } else {
            return false;
        }
    }
    auto &runs = result.m_runs;
    runs.reserve(2 * m_byStart.size() + 1);
    qsizetype position = 0;
    auto close = [&](int last) {
        Op &op = m_ops[std::size_t(last)];
        TextAttributes &entry = m_attributes[std::size_t(last)];
        if (op.font) {
            entry.font = *op.font;
            op.font = nullptr;
        }
        op.shared = true;
        if (op.start > position)
            runs.push_back({{position, op.start - position}, -1});
        else if (!runs.empty() && runs.back().attributes >= 0
            && m_attributes[std::size_t(runs.back().attributes)] == entry) {
            runs.back().range.length += op.end - op.start; // touching and equal
            position = op.end;
            return;
        }
        runs.push_back({{op.start, op.end - op.start}, last});
        position = op.end;
    };
    int last = -1;
    for (const int index : m_byStart) {
        const Op &op = m_ops[std::size_t(index)];
        if (!op.fields)
            continue;
        if (last >= 0 && (op.start != m_ops[std::size_t(last)].start || op.end != m_ops[std::size_t(last)].end))
            close(last);
        last = index;
    }
    if (last >= 0)
        close(last);
    if (position < length)
        runs.push_back({{position, length - position}, -1});
    return true;
}

// A typical message has a handful of ranges: painting the winning range of
// every field into each stretch between boundaries costs a few integer
// writes per range and stretch, less than the heaps. (Quadratic in the
// number of ranges, hence for small counts only.)
bool RunBuilder::paintSmall(StyledText &result, qsizetype length)
{
    auto &runs = result.m_runs;
    // The boundaries sorted once as (position, range, start or end) keys;
    // one pass then gives the stretches and every range's first and last.
    static_assert(2 * kSmall < kNoRange, "range numbers fit below the marker");
    m_keys.clear();
    m_keys.push_back(std::uint64_t(0) << 8 | kNoRange);
    m_keys.push_back(std::uint64_t(length) << 8 | kNoRange);
    for (std::size_t k = 0; k < m_byStart.size(); ++k) {
        const auto index = std::size_t(m_byStart[k]);
        if (!m_attributes[index].others.empty())
            return false; // named extras: the general sweep handles them
        const Op &op = m_ops[index];
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
        const unsigned fields = fieldsOf(std::size_t(index));
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
    m_attributes.reserve(m_attributes.size() + segments);
    const int *previous = nullptr;
    unsigned previousFields = 0;
    for (std::size_t segment = 0; segment < segments; ++segment) {
        const int *tops = &m_paint[segment * FieldCount];
        const unsigned fields = m_fields[segment];
        const qsizetype from = m_bounds[segment];
        const qsizetype to = m_bounds[segment + 1];
        if (previous && sameAsRun(entryOf(runs.back()), tops, previous, fields | previousFields)) {
            runs.back().range.length += to - from;
        } else {
            runs.push_back({{from, to - from}, entryFor(tops, fields, to)});
        }
        previous = tops;
        previousFields = fields;
    }
    return true;
}

const TextAttributes &RunBuilder::entryOf(const StyledText::Span &run) const
{
    return run.attributes >= 0 ? m_attributes[std::size_t(run.attributes)] : noAttributes();
}

StyledText RunBuilder::build(QString text)
{
    StyledText result;
    result.m_text = std::move(text);
    if (result.m_text.isEmpty())
        return result;
    buildRuns(result);
    // The entries go with the result (the runs refer to them by index).
    result.m_attributes = std::move(m_attributes);
    m_attributes = {};
    return result;
}

void RunBuilder::buildRuns(StyledText &result)
{
    const qsizetype length = result.m_text.size();
    auto &runs = result.m_runs;

    m_byStart.clear();
    for (std::size_t i = 0; i < m_ops.size(); ++i) {
        Op &op = m_ops[i];
        op.shared = false;
        op.fields = html_detail::fieldsOf(m_attributes[i]) | (op.font ? 1u << Font : 0u);
        op.start = std::clamp<qsizetype>(op.start, 0, length);
        op.end = std::clamp<qsizetype>(op.end, op.start, length);
        if (op.end > op.start)
            m_byStart.push_back(int(i));
    }
    if (m_byStart.empty()) {
        runs.push_back({{0, length}, -1});
        return;
    }
    if (buildApart(result, length))
        return;
    if (m_byStart.size() <= kSmall && paintSmall(result, length))
        return;
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
        m_attributes.reserve(m_attributes.size() + boundaries);
    }

    // A run is written straight into the result and merged into the one
    // before when equal; a stretch whose winning ranges did not change
    // just extends the last run.
    std::array<int, FieldCount> tops;
    std::array<int, FieldCount> lastTops;
    lastTops.fill(-2);
    unsigned lastFields = 0;
    auto emitEmpty = [&](qsizetype from, qsizetype to) {
        if (!runs.empty() && runs.back().attributes < 0)
            runs.back().range.length += to - from;
        else
            runs.push_back({{from, to - from}, -1});
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
            const TextAttributes &attributes = m_attributes[std::size_t(op)];
            for (unsigned fields = fieldsOf(std::size_t(op)); fields; fields &= fields - 1)
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
            && sameAsRun(entryOf(runs.back()), tops.data(), lastTops.data(), fields | lastFields)) {
            runs.back().range.length += next - pos;
        } else if (otherHeaps.empty()) {
            runs.push_back({{pos, next - pos}, entryFor(tops.data(), fields, next)});
        } else {
            // Named extras: always an entry of the run's own, dropped again
            // when the run turns out empty or equal to the one before.
            TextAttributes &entry = m_attributes.emplace_back();
            fillRun(entry, tops.data(), fields, next);
            for (auto &[name, heap] : otherHeaps) {
                const int top = liveTop(heap, m_ended);
                if (top >= 0)
                    entry.others.insert_or_assign(name, m_attributes[std::size_t(top)].others.at(name));
            }
            if (!runs.empty() && entryOf(runs.back()) == entry) {
                runs.back().range.length += next - pos;
                m_attributes.pop_back();
            } else if (entry.isEmpty()) {
                m_attributes.pop_back();
                runs.push_back({{pos, next - pos}, -1});
            } else {
                runs.push_back({{pos, next - pos}, qsizetype(m_attributes.size()) - 1});
            }
        }
        lastTops = tops;
        lastFields = fields;
        pos = next;
    }
}

} // namespace kalvo::html_detail
