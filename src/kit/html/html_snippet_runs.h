// Builds a StyledText from a finished text and many attribute ranges in one
// sweep. Adding ranges one by one through StyledText::addAttributes splits
// the run vector in the middle each time, which goes quadratic on a large
// snippet with tens of thousands of tags; here the ranges are collected
// first and the runs come out left to right, written straight into the
// result.
#pragma once

#include <kalvo/global.h>
#include <kalvo/html/styledtext.h>

#include <array>
#include <cstdint>
#include <vector>

namespace kalvo::html_detail {

// Exported for the tests only.
class KALVO_EXPORT RunBuilder
{
public:
    // Ranges are UTF-16 positions of the final text. A range added later
    // overrides an earlier one where they overlap, field by field (the same
    // result as calling addAttributes in this order).
    void add(TextRange range, TextAttributes attributes);
    // The same, filled in place (nothing is added for an empty range; the
    // returned attributes are then a scratch object).
    TextAttributes &add(TextRange range);
    // Gives the range last added by add(range) a font that the caller keeps
    // unchanged until build() returns, in place of attributes.font: the runs
    // copy it from there, and no copy is held in between (each QFont copy
    // costs a pair of atomic operations).
    void shareFont(const QFont &font)
    {
        if (m_lastKept)
            m_ops.back().font = &font;
    }
    void reserve(std::size_t count) { m_ops.reserve(count); }
    bool isEmpty() const { return m_ops.empty(); }
    // Forgets the ranges, keeps the memory for the next snippet.
    void clear() { m_ops.clear(); }

    // The text with the collected attributes; ranges are clamped to it.
    // The attributes are handed over to the result: clear() before the next
    // build.
    StyledText build(QString text);

private:
    struct Op
    {
        // Provided, so that emplace_back() does not zero the attributes
        // before constructing them.
        Op() { }
        Op(qsizetype s, qsizetype e, TextAttributes &&a) : start(s), end(e), attributes(std::move(a)) { }

        qsizetype start = 0;
        qsizetype end = 0;
        TextAttributes attributes;
        const QFont *font = nullptr; // see shareFont()
    };
    enum { FieldCount = 11, kSmall = 48, kNoRange = 0xFF };

    unsigned fieldsOf(const Op &op) const;

    bool paintSmall(std::vector<StyledRun> &runs, qsizetype length);
    bool sameAsRun(const TextAttributes &run, const int *tops, const int *lastTops, unsigned fields) const;
    void fillRun(TextAttributes &run, const int *tops, unsigned fields, qsizetype runEnd);

    std::vector<Op> m_ops;
    bool m_lastKept = false; // whether the last add(range) made an op
    TextAttributes m_discard;
    // Scratch kept between builds.
    std::vector<std::uint64_t> m_keys;
    std::vector<qsizetype> m_bounds;
    std::vector<int> m_paint;
    std::vector<unsigned> m_fields; // per stretch, the fields set
    std::vector<qsizetype> m_starts;
    std::vector<qsizetype> m_ends;
    std::vector<int> m_byStart;
    std::vector<int> m_byEnd;
    std::vector<char> m_ended;
    std::array<std::vector<int>, FieldCount> m_heaps;
};

} // namespace kalvo::html_detail
