// One sweep over the range boundaries: for every field an max-heap of the
// ranges that set it and cover the current position (ranges that ended are
// dropped lazily when they reach the top), so each boundary costs a few heap
// operations whatever the nesting depth.
#include "html_snippet_runs.h"

#include <algorithm>
#include <array>
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
    m_ops.push_back({range.location, endOf(range), std::move(attributes)});
}

TextAttributes &RunBuilder::add(TextRange range)
{
    if (range.isEmpty()) {
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

template<typename Fn> void forEachField(const TextAttributes &a, Fn &&fn)
{
    if (a.foregroundColor)
        fn(Foreground);
    if (a.font)
        fn(Font);
    if (a.underline)
        fn(Underline);
    if (a.cursor)
        fn(Cursor);
    if (a.attachment)
        fn(Attachment);
    if (a.link)
        fn(Link);
    if (a.target)
        fn(Target);
    if (a.action)
        fn(Action);
    if (a.axRole)
        fn(AXRole);
    if (a.headIndent)
        fn(HeadIndent);
    if (a.paragraphSpacing)
        fn(ParagraphSpacing);
}

void copyField(TextAttributes &to, const TextAttributes &from, std::size_t field)
{
    switch (field) {
    case Foreground:
        to.foregroundColor = from.foregroundColor;
        break;
    case Font:
        to.font = from.font;
        break;
    case Underline:
        to.underline = from.underline;
        break;
    case Cursor:
        to.cursor = from.cursor;
        break;
    case Attachment:
        to.attachment = from.attachment;
        break;
    case Link:
        to.link = from.link;
        break;
    case Target:
        to.target = from.target;
        break;
    case Action:
        to.action = from.action;
        break;
    case AXRole:
        to.axRole = from.axRole;
        break;
    case HeadIndent:
        to.headIndent = from.headIndent;
        break;
    case ParagraphSpacing:
        to.paragraphSpacing = from.paragraphSpacing;
        break;
    }
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

// A typical message has a handful of ranges: painting the winning range of
// every field into each stretch between boundaries costs a few integer
// writes per range and stretch, less than the heaps. (Quadratic in the
// number of ranges, hence for small counts only.)
bool RunBuilder::paintSmall(std::vector<StyledRun> &runs, qsizetype length)
{
    m_bounds.clear();
    m_bounds.push_back(0);
    m_bounds.push_back(length);
    for (int index : m_byStart) {
        const Op &op = m_ops[std::size_t(index)];
        if (!op.attributes.others.empty())
            return false; // named extras: the general sweep handles them
        m_bounds.push_back(op.start);
        m_bounds.push_back(op.end);
    }
    std::sort(m_bounds.begin(), m_bounds.end());
    m_bounds.erase(std::unique(m_bounds.begin(), m_bounds.end()), m_bounds.end());
    const std::size_t segments = m_bounds.size() - 1;
    m_paint.assign(segments * FieldCount, -1);
    for (int index : m_byStart) { // in the order added: later paints over
        const Op &op = m_ops[std::size_t(index)];
        const std::size_t first
            = std::size_t(std::lower_bound(m_bounds.begin(), m_bounds.end(), op.start) - m_bounds.begin());
        const std::size_t last
            = std::size_t(std::lower_bound(m_bounds.begin(), m_bounds.end(), op.end) - m_bounds.begin());
        forEachField(op.attributes, [&](std::size_t field) {
            for (std::size_t segment = first; segment < last; ++segment)
                m_paint[segment * FieldCount + field] = index;
        });
    }
    runs.reserve(segments);
    const int *previous = nullptr;
    for (std::size_t segment = 0; segment < segments; ++segment) {
        const int *tops = &m_paint[segment * FieldCount];
        const qsizetype from = m_bounds[segment];
        const qsizetype to = m_bounds[segment + 1];
        if (previous && std::equal(tops, tops + FieldCount, previous)) {
            runs.back().range.length += to - from;
            continue;
        }
        previous = tops;
        StyledRun &run = runs.emplace_back();
        run.range = {from, to - from};
        for (std::size_t field = 0; field < FieldCount; ++field) {
            if (tops[field] >= 0)
                copyField(run.attributes, m_ops[std::size_t(tops[field])].attributes, field);
        }
        if (runs.size() > 1 && runs[runs.size() - 2].attributes == run.attributes) {
            runs[runs.size() - 2].range.length += run.range.length;
            runs.pop_back();
        }
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
        runs.push_back({{0, length}, {}});
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
    auto emitEmpty = [&](qsizetype from, qsizetype to) {
        if (!runs.empty() && runs.back().attributes.isEmpty())
            runs.back().range.length += to - from;
        else
            runs.push_back({{from, to - from}, {}});
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
            forEachField(attributes, [&](std::size_t field) { push(m_heaps[field], op); });
            for (const auto &entry : attributes.others)
                push(otherHeaps[entry.first], op);
        }
        qsizetype next = length;
        if (nextStart < m_byStart.size())
            next = std::min(next, m_starts[std::size_t(m_byStart[nextStart])]);
        if (nextEnd < m_byEnd.size())
            next = std::min(next, m_ends[std::size_t(m_byEnd[nextEnd])]);

        for (std::size_t field = 0; field < FieldCount; ++field)
            tops[field] = liveTop(m_heaps[field], m_ended);
        if (otherHeaps.empty() && tops == lastTops && !runs.empty()) {
            runs.back().range.length += next - pos;
        } else {
            StyledRun &run = runs.emplace_back();
            run.range = {pos, next - pos};
            for (std::size_t field = 0; field < FieldCount; ++field) {
                if (tops[field] >= 0)
                    copyField(run.attributes, m_ops[std::size_t(tops[field])].attributes, field);
            }
            for (auto &[name, heap] : otherHeaps) {
                const int top = liveTop(heap, m_ended);
                if (top >= 0)
                    run.attributes.others.insert_or_assign(name, m_ops[std::size_t(top)].attributes.others.at(name));
            }
            if (runs.size() > 1 && runs[runs.size() - 2].attributes == run.attributes) {
                runs[runs.size() - 2].range.length += run.range.length;
                runs.pop_back();
            }
            lastTops = tops;
        }
        pos = next;
    }
    return result;
}

} // namespace kalvo::html_detail
