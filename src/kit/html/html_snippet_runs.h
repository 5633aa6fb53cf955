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
    void reserve(std::size_t count) { m_ops.reserve(count); }
    bool isEmpty() const { return m_ops.empty(); }
    // Forgets the ranges, keeps the memory for the next snippet.
    void clear() { m_ops.clear(); }

    // The text with the collected attributes; ranges are clamped to it.
    StyledText build(QString text);

private:
    struct Op
    {
        qsizetype start;
        qsizetype end;
        TextAttributes attributes;
    };
    enum { FieldCount = 11, kSmall = 48 };

    bool paintSmall(std::vector<StyledRun> &runs, qsizetype length);

    std::vector<Op> m_ops;
    TextAttributes m_discard;
    // Scratch kept between builds.
    std::vector<qsizetype> m_bounds;
    std::vector<int> m_paint;
    std::vector<qsizetype> m_starts;
    std::vector<qsizetype> m_ends;
    std::vector<int> m_byStart;
    std::vector<int> m_byEnd;
    std::vector<char> m_ended;
    std::array<std::vector<int>, FieldCount> m_heaps;
};

} // namespace kalvo::html_detail
