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
    void reserve(std::size_t count)
    {
        // (Runs that mix ranges add entries: build() makes room for them
        // when it meets such runs.)
        m_ops.reserve(count);
        m_attributes.reserve(count);
    }
    bool isEmpty() const { return m_ops.empty(); }
    // Forgets the ranges, keeps the memory for the next snippet.
    void clear()
    {
        m_ops.clear();
        m_attributes.clear();
    }

    // The text with the collected attributes; ranges are clamped to it.
    // The attributes are handed over to the result: clear() before the next
    // build.
    StyledText build(QString text);

private:
    // A range; its attributes are m_attributes at the same index. A run
    // whose every field comes from one range, and that has all of that
    // range's fields, refers to the range's own entry in the result
    // (`shared`): its values are then only copied, never moved out.
    struct Op
    {
        qsizetype start;
        qsizetype end;
        const QFont *font; // see shareFont()
        bool shared;
        unsigned fields; // set by build()
    };
    enum { FieldCount = 11, kSmall = 48, kNoRange = 0xFF };

    unsigned fieldsOf(std::size_t op) const;
    const TextAttributes &entryOf(const StyledText::Span &run) const;

    void buildRuns(StyledText &result);
    bool buildApart(StyledText &result, qsizetype length);
    bool paintSmall(StyledText &result, qsizetype length);
    bool sameAsRun(const TextAttributes &run, const int *tops, const int *lastTops, unsigned fields) const;
    // The result's entry for a stretch whose fields (`fields`) come from
    // the ops `tops`: a range's own entry, a new one, or -1 for none.
    qsizetype entryFor(const int *tops, unsigned fields, qsizetype runEnd);
    void fillRun(TextAttributes &run, const int *tops, unsigned fields, qsizetype runEnd);

    std::vector<Op> m_ops;
    // The ranges' attributes, then the entries of runs that mix ranges;
    // handed over to the result as its attribute entries.
    std::vector<TextAttributes> m_attributes;
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
