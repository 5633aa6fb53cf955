// Filling of flattened outlines and strokes (see svg_scanline_p.h).
//
// Coverage is accumulated as signed area: every edge adds, to the cells of
// each pixel row it crosses, the share of the row's height it spans,
// spread over the cells by the area it leaves to its right. A running sum
// across a row is then the winding number averaged over each pixel, and
// its magnitude (clamped, or folded for the even-odd rule) the coverage.
// That is exact wherever no two parts of the outline overlap inside a
// pixel. Where they do (lines crossing, a line going back over itself,
// caps meeting) the sum somewhere in the row goes past one, or both ways;
// such rows and their neighbours are sampled instead: the winding at
// several heights, taken exactly across the row, so that overlaps count
// once. The stroker keeps its own outline from folding over itself at
// inner joins where it can, so that rows need sampling only where the
// picture itself overlaps. The cost follows the edges' length in rows
// plus the area of the shape's box.
#include "svg_scanline_p.h"

#include <QRectF>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <numbers>
#include <vector>

namespace kalvo::svgscan {

namespace {

std::atomic<bool> s_enabled{true};

// Beyond this many edges the rasteriser gives the path back to the caller:
// its memory stays bounded (an edge is 20 bytes).
constexpr std::size_t kMaxEdges = std::size_t(1) << 20;
// Beyond this many cells (a shape's box within the image) likewise: the
// work of area sums grows with the box, and from about a 96 px square on
// cairo, whose work follows the outline, is faster.
constexpr std::size_t kMaxCells = 10000;
// Subdivisions of one curve at most (2^16 pieces), so that a curve with
// huge coordinates cannot flatten without end.
constexpr int kMaxFlattenPieces = 1 << 16;
// What even steps along a curve may stray from it, in device pixels: below
// cairo's tolerance, as cairo's halving stops well inside its own.
constexpr double kEvenTolerance = 0.07;
// Ends of a line this close (device pixels) count as one point when the
// line is drawn closed instead of with caps.
constexpr double kNearEnd = 0.05;
// Heights a row is sampled at where parts of an outline overlap.
constexpr int kRowSamples = 8;
// How far a running sum may stray from whole windings by rounding.
constexpr float kSlack = 1e-3f;
// Cells winding opposite ways this close may be the two sides of one
// pixel that both cover: in a row two columns, as the pixel between them
// may show neither when their areas cancel in it; across rows one (a
// whole row cancelling so is left alone: sampling the rows beside every
// shape a row apart would cost more than it could mend).
constexpr int kMeetingColumns = 2;
constexpr int kMeetingRows = 1;
// What a row's area sums are (see classifyRows).
constexpr char kOverlapping = 0;
constexpr char kPlain = 1;
constexpr char kMeeting = 2;

// Pen vertices of a round cap or join at most.
constexpr int kMaxPenVertices = 4096;

inline double snap(double v)
{
    // Cairo keeps coordinates in 24.8 fixed point.
    // Rounded to the nearest 1/256 (ties to even) by adding and taking
    // away 1.5 * 2^52, as cairo converts: exact below 2^51 / 256.
    constexpr double kMagic = 6755399441055744.0;
    const double scaled = v * 256.0;
    if (!(std::abs(scaled) < 1e15))
        return std::nearbyint(scaled) / 256.0;
    const double shifted = scaled + kMagic;
    return (shifted - kMagic) / 256.0;
}

inline QPointF snap(QPointF p)
{
    return QPointF(snap(p.x()), snap(p.y()));
}

// Snapped points are equal exactly when QPointF's fuzzy comparison says
// so (they lie 1/256 apart or more), and comparing them so is cheaper.
bool sameSnapped(QPointF a, QPointF b)
{
    return a.x() == b.x() && a.y() == b.y();
}


QPointF unit(QPointF v)
{
    const double length = std::sqrt(v.x() * v.x() + v.y() * v.y());
    return length > 0 ? v / length : QPointF();
}

bool isZero(QPointF v)
{
    return v.x() == 0 && v.y() == 0;
}

double cross(QPointF a, QPointF b)
{
    return a.x() * b.y() - a.y() * b.x();
}

double dot(QPointF a, QPointF b)
{
    return a.x() * b.x() + a.y() * b.y();
}

// The left normal of a unit direction.
QPointF normal(QPointF d)
{
    return QPointF(-d.y(), d.x());
}


// ---- Edges ----

struct Segment
{
    float x0, y0, x1, y1;
    float weight;
};

struct Crossing
{
    float x;
    int wind;
};

struct RowEdge
{
    float from, to; // heights
    float x;        // at the row's first sampled height
    float dx;       // per sampled height
    int wind;
};

// The edges of one shape in image coordinates, with the box they span.
class Edges
{
public:
    Edges(int height, std::vector<Segment> &storage) : list(storage), m_height(height)
    {
        list.clear();
    }

    // A closed polygon. Horizontal edges add no area and are left out;
    // edges beyond the image are kept (the filler passes over them), so
    // that the box is simply the points' box.
    void addContour(const std::vector<QPointF> &points, double weight)
    {
        // Fewer than three points enclose nothing (a filled line).
        const std::size_t n = points.size();
        if (n < 3)
            return;
        if (list.size() + n > kMaxEdges) {
            overflow = true;
            return;
        }
        const float w = float(weight);
        const QPointF *p = points.data();
        double left = p[0].x(), right = left, top = p[0].y(), bottom = top;
        for (std::size_t i = 1; i < n; ++i) {
            left = std::min(left, p[i].x());
            right = std::max(right, p[i].x());
            top = std::min(top, p[i].y());
            bottom = std::max(bottom, p[i].y());
        }
        if (bottom <= 0 || top >= m_height)
            return;
        minX = std::min(minX, left);
        maxX = std::max(maxX, right);
        minY = std::min(minY, top);
        maxY = std::max(maxY, bottom);
        QPointF a = p[n - 1];
        for (std::size_t i = 0; i < n; ++i) {
            const QPointF b = p[i];
            if (a.y() != b.y())
                list.push_back({float(a.x()), float(a.y()), float(b.x()), float(b.y()), w});
            a = b;
        }
    }

    std::vector<Segment> &list;
    bool overflow = false;
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;

private:
    int m_height;
};

// Twice the signed area of a closed polygon (its sign is its orientation).
double signedArea(const std::vector<QPointF> &points)
{
    double sum = 0;
    const std::size_t n = points.size();
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF &a = points[i];
        const QPointF &b = points[(i + 1) % n];
        sum += a.x() * b.y() - b.x() * a.y();
    }
    return sum;
}

// ---- Filling ----

// The ceiling of a number that is not negative (std::ceil is a library
// call on the baseline instruction set).
inline int ceilOf(float v)
{
    const int i = static_cast<int>(v);
    return float(i) < v ? i + 1 : i;
}

uint32_t multiply(uint32_t pixel, uint32_t alpha)
{
    // Each channel times alpha / 255, rounded; two channels per multiply.
    uint32_t rb = (pixel & 0x00ff00ffu) * alpha + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    uint32_t ag = ((pixel >> 8) & 0x00ff00ffu) * alpha + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00ff00ffu)) & 0xff00ff00u;
    return rb | ag;
}

#if defined(__SSE2__)
// multiply() of four pixels, each by its own alpha (0 to 255, one per
// 32-bit lane): the same products, roundings and results.
inline __m128i multiply4(__m128i pixels, __m128i alphas)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i alphas16 = _mm_packs_epi32(alphas, alphas);
    const __m128i pairs = _mm_unpacklo_epi16(alphas16, alphas16);
    const __m128i first = _mm_unpacklo_epi32(pairs, pairs);  // a0 ×4, a1 ×4
    const __m128i second = _mm_unpackhi_epi32(pairs, pairs); // a2 ×4, a3 ×4
    const __m128i bias = _mm_set1_epi16(0x80);
    // A channel times alpha plus the bias stays below 2^16.
    __m128i low = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(pixels, zero), first), bias);
    __m128i high = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(pixels, zero), second), bias);
    low = _mm_srli_epi16(_mm_add_epi16(low, _mm_srli_epi16(low, 8)), 8);
    high = _mm_srli_epi16(_mm_add_epi16(high, _mm_srli_epi16(high, 8)), 8);
    return _mm_packus_epi16(low, high);
}

// Source-over of four colours at four alphas onto four pixels, as the
// filler's blend() does one: colour × alpha, plus what shows through of the
// pixel below. (An alpha of 0 leaves the pixel, of 255 gives the colour
// over it; the lane sums are 32-bit as there.)
inline __m128i blend4(__m128i below, __m128i colors, __m128i alphas)
{
    const __m128i source = multiply4(colors, alphas);
    // Mostly a shape's edge over nothing yet.
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(below, _mm_setzero_si128())) == 0xffff)
        return source;
    const __m128i through = _mm_sub_epi32(_mm_set1_epi32(255), _mm_srli_epi32(source, 24));
    return _mm_add_epi32(source, multiply4(below, through));
}
#endif

// ---- Gradients ----

// A gradient ready for painting: its stops between two end stops that
// say what lies beyond them (the first and last colours, or the stops of
// the neighbouring repeats), as premultiplied pixels per position.
class Shader
{
public:
    explicit Shader(const Gradient &g) : m_g(g)
    {
        const std::size_t n = g.stops.size();
        m_stops.reserve(n + 2);
        Gradient::Stop before = g.stops.front(), after = g.stops.back();
        if (g.spread == 2) {
            before = g.stops.back();
            before.offset -= 1;
            after = g.stops.front();
            after.offset += 1;
        } else if (g.spread == 1) {
            before.offset = -g.stops.front().offset;
            after.offset = 2 - g.stops.back().offset;
        } else {
            before.offset = -kFar;
            after.offset = kFar;
        }
        m_stops.push_back(before);
        m_stops.insert(m_stops.end(), g.stops.begin(), g.stops.end());
        m_stops.push_back(after);
        const QTransform &m = g.fromDevice;
        m_a = m.m11(), m_b = m.m21(), m_c = m.dx();
        m_d = m.m12(), m_e = m.m22(), m_f = m.dy();
        m_dx = g.x2 - g.x1;
        m_dy = g.y2 - g.y1;
        m_dr = g.r2 - g.r1;
        if (g.radial) {
            m_quadratic = m_dx * m_dx + m_dy * m_dy - m_dr * m_dr;
        } else {
            const double length2 = m_dx * m_dx + m_dy * m_dy;
            m_dx /= length2;
            m_dy /= length2;
        }
    }

    // The pixels of image row `y` (device coordinates of the row's top)
    // from device column `x` on, `count` of them.
    void row(double x, double y, int count, uint32_t *out) const
    {
        const double px = x + 0.5, py = y + 0.5;
        const double gx = m_a * px + m_b * py + m_c;
        const double gy = m_d * px + m_e * py + m_f;
        if (!m_g.radial) {
            // The position moves evenly along a row.
            const double t0 = (gx - m_g.x1) * m_dx + (gy - m_g.y1) * m_dy;
            const double dt = m_a * m_dx + m_d * m_dy;
            for (int i = 0; i < count; ++i)
                out[i] = at(t0 + dt * i);
            return;
        }
        for (int i = 0; i < count; ++i)
            out[i] = radialAt(gx + m_a * i - m_g.x1, gy + m_d * i - m_g.y1);
    }

private:
    static constexpr double kFar = 1e300;

    // The position on the cone of circles whose edge passes through the
    // point (relative to the first centre): the larger root whose radius is
    // not negative; none (a transparent pixel) where no circle passes.
    uint32_t radialAt(double px, double py) const
    {
        const double r1 = m_g.r1;
        const double b = px * m_dx + py * m_dy + r1 * m_dr;
        const double c = px * px + py * py - r1 * r1;
        if (m_quadratic == 0) {
            if (b == 0)
                return 0;
            const double t = 0.5 * c / b;
            return r1 + t * m_dr >= 0 ? at(t) : 0;
        }
        const double discriminant = b * b - m_quadratic * c;
        if (!(discriminant >= 0))
            return 0;
        const double root = std::sqrt(discriminant);
        const double t0 = (b + root) / m_quadratic;
        const double t1 = (b - root) / m_quadratic;
        if (r1 + t0 * m_dr >= 0)
            return at(t0);
        if (r1 + t1 * m_dr >= 0)
            return at(t1);
        return 0;
    }

    uint32_t at(double t) const
    {
        if (!std::isfinite(t))
            return 0;
        double x = t;
        if (m_g.spread == 2) {
            x = t - std::floor(t);
        } else if (m_g.spread == 1) {
            const double whole = std::floor(t);
            x = t - whole;
            if (std::fmod(whole, 2.0) != 0)
                x = 1 - x;
        }
        // The stops bracketing the position (few: a linear search).
        std::size_t n = 1;
        const std::size_t last = m_stops.size() - 1;
        while (n < last && !(x < m_stops[n].offset))
            ++n;
        const Gradient::Stop &l = m_stops[n - 1];
        const Gradient::Stop &r = m_stops[n];
        float a, red, green, blue;
        const double width = r.offset - l.offset;
        if (!(width > 1e-7) || l.offset <= -kFar || r.offset >= kFar) {
            a = 0.5f * (l.alpha + r.alpha);
            red = 0.5f * (l.red + r.red);
            green = 0.5f * (l.green + r.green);
            blue = 0.5f * (l.blue + r.blue);
        } else {
            const float w = float((x - l.offset) / width);
            a = l.alpha + (r.alpha - l.alpha) * w;
            red = l.red + (r.red - l.red) * w;
            green = l.green + (r.green - l.green) * w;
            blue = l.blue + (r.blue - l.blue) * w;
        }
        auto byte = [](float v) { return uint32_t(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
        return byte(a) << 24 | byte(a * red) << 16 | byte(a * green) << 8 | byte(a * blue);
    }

    const Gradient &m_g;
    std::vector<Gradient::Stop> m_stops;
    double m_a = 1, m_b = 0, m_c = 0, m_d = 0, m_e = 1, m_f = 0;
    double m_dx = 0, m_dy = 0, m_dr = 0, m_quadratic = 0;
};

// Buffers kept from one drawing to the next (per thread): an icon draws a
// handful of small paths, whose cost would otherwise be mostly allocation.
struct Scratch
{
    std::vector<Segment> edges;
    // All zero between fills: reading a row clears it.
    std::vector<float> cells;
    // Per row: what its area sums are (kPlain, kOverlapping, kMeeting);
    // the crossings of one sampled height.
    std::vector<char> plain;
    // Per row: the lowest and highest running sum.
    std::vector<std::pair<float, float>> range;
    std::vector<Crossing> crossings;
    std::vector<RowEdge> rowEdges;
    std::vector<QPointF> left, right, centre, points;
    std::vector<std::pair<QPointF, double>> flat;
    // A gradient's pixels along the row being painted.
    std::vector<uint32_t> shade;
    // The pen of the last stroke, for its half width.
    std::vector<QPointF> pen;
    double penHalf = -1;

    // Drops what a huge path left behind.
    void trim()
    {
        if (edges.capacity() > 65536)
            std::vector<Segment>().swap(edges);
        if (cells.capacity() > 65536) {
            std::vector<float>().swap(cells);
            std::vector<char>().swap(plain);
            std::vector<std::pair<float, float>>().swap(range);
        }
    }
};

// Not inlined: callers then keep the address, where the compiler would
// otherwise ask for the thread's copy again at every use in a loop (a
// call each time in a shared library).
[[gnu::noinline]] Scratch &scratch()
{
    thread_local Scratch s;
    return s;
}

class Filler
{
public:
    Filler(const Target &target, QRgb color, bool evenOdd, Scratch &s)
        : m_target(target), m_color(color), m_opaque((color >> 24) == 255), m_evenOdd(evenOdd), m_scratch(s)
    {
    }
    // Paints a gradient.
    Filler(const Target &target, const Shader &shader, bool evenOdd, Scratch &s)
        : m_target(target), m_color(0xff000000u), m_opaque(false), m_evenOdd(evenOdd), m_scratch(s), m_shader(&shader)
    {
    }
    // Writes the coverage into `mask` instead of painting.
    Filler(const Target &target, Mask &mask, bool evenOdd, Scratch &s)
        : m_target(target), m_color(0xff000000u), m_opaque(true), m_evenOdd(evenOdd), m_scratch(s), m_mask(&mask)
    {
        mask.box = QRect();
    }

    // Answers false, having drawn nothing, when the shape's box is beyond
    // the cell budget.
    bool fill(const Edges &edges);

private:
    void line(const Segment &segment);
    void span(int row, float xa, float xb, float d);
    void spanInside(float *cells, float xa, float xb, float d);
    void sumRows(std::vector<std::pair<float, float>> &range);
    std::pair<float, float> rangeOf(const float *cells) const;
    void classifyRows(const std::vector<std::pair<float, float>> &range, std::vector<char> &plain) const;
    bool windingsApart(int row) const;
    void emitRow(int row);
    template <bool ToMask, bool EvenOdd>
    void emitRowAs(int row);
    void sampleRow(int row, float *cells);
    // The row's pixels, or its mask bytes.
    uint32_t *pixels(int row) const
    {
        return reinterpret_cast<uint32_t *>(m_target.bits + qsizetype(m_top + row) * m_target.stride) + m_left;
    }
    uchar *maskRow(int row) const { return m_mask->bytes.data() + qsizetype(row) * m_mask->stride; }
    void put(uint32_t *line, uchar *bytes, int c, float cover) const
    {
        if (bytes) {
            bytes[c] = static_cast<uchar>(std::min(static_cast<int>(cover * 255.0f + 0.5f), 255));
        } else {
            const int alpha = static_cast<int>(cover * 255.0f + 0.5f);
            if (alpha > 0)
                blend(line + c, alpha, c);
        }
    }
    // A gradient's pixels for columns [from, to) of a row.
    void shadeRow(int row, int from, int to)
    {
        if (!m_shader || to <= from)
            return;
        m_shade = m_scratch.shade.data() - from;
        m_shader->row(double(m_target.origin.x() + m_left + from), double(m_target.origin.y() + m_top + row),
                      to - from, m_scratch.shade.data());
    }
    // Source-over of the colour (of column `c`) at `alpha` (1 to 255).
    void blend(uint32_t *pixel, int alpha, int c) const
    {
        const uint32_t color = m_shader ? m_shade[c] : m_color;
        if (alpha >= 255) {
            *pixel = m_opaque || (color >> 24) == 255 ? color : color + multiply(*pixel, 255 - (color >> 24));
            return;
        }
        const uint32_t source = multiply(color, uint32_t(alpha));
        // Mostly the shape's edge over nothing yet (what the multiply would
        // leave of an empty pixel is nothing).
        const uint32_t below = *pixel;
        *pixel = below == 0 ? source : source + multiply(below, 255 - (source >> 24));
    }

    const Target &m_target;
    uint32_t m_color;
    bool m_opaque;
    bool m_evenOdd;
    Scratch &m_scratch;
    Mask *m_mask = nullptr;
    const Shader *m_shader = nullptr;
    // The current row's gradient pixels, indexed by column.
    const uint32_t *m_shade = nullptr;
    const std::vector<Segment> *m_segments = nullptr;
    // The box filled: image columns [m_left, m_left + m_width), rows
    // [m_top, m_top + m_rows); a row of cells has two more for what spills
    // over its right end.
    int m_left = 0;
    int m_top = 0;
    int m_width = 0;
    int m_rows = 0;
    int m_stride = 0;
    float *m_cells = nullptr;
};

bool Filler::fill(const Edges &edges)
{
    if (edges.list.empty() || (m_color >> 24) == 0)
        return true;
    m_left = static_cast<int>(std::max(0.0, std::floor(edges.minX)));
    const int right = static_cast<int>(std::min<double>(m_target.width, std::ceil(edges.maxX) + 1));
    m_top = static_cast<int>(std::max(0.0, std::floor(edges.minY)));
    const int bottom = static_cast<int>(std::min<double>(m_target.height, std::ceil(edges.maxY)));
    m_width = right - m_left;
    m_rows = bottom - m_top;
    if (m_width <= 0 || m_rows <= 0)
        return true;
    m_stride = m_width + 2;
    const std::size_t cells = std::size_t(m_stride) * std::size_t(m_rows);
    if (cells > kMaxCells)
        return false;
    if (m_mask) {
        m_mask->box = QRect(m_left, m_top, m_width, m_rows);
        m_mask->stride = (m_width + 3) & ~3;
        m_mask->bytes.assign(std::size_t(m_mask->stride) * std::size_t(m_rows), 0);
    }
    Scratch &s = m_scratch;
    if (s.cells.size() < cells)
        s.cells.resize(cells, 0.0f);
    if (m_shader && s.shade.size() < std::size_t(m_width))
        s.shade.resize(std::size_t(m_width));
    if (s.plain.size() < std::size_t(m_rows)) {
        s.plain.resize(std::size_t(m_rows));
        s.range.resize(std::size_t(m_rows));
    }
    m_cells = s.cells.data();
    m_segments = &edges.list;
    for (const Segment &segment : edges.list)
        line(segment);
    std::vector<char> &plain = s.plain;
    sumRows(s.range);
    classifyRows(s.range, plain);
    for (int row = 0; row < m_rows; ++row) {
        // Overlaps thinner than a pixel show no winding past one: the rows
        // next to one that does are sampled too.
        const bool exact = plain[std::size_t(row)] == kPlain
                           && (row == 0 || plain[std::size_t(row) - 1] != kOverlapping)
                           && (row + 1 == m_rows || plain[std::size_t(row) + 1] != kOverlapping);
        if (exact) {
            emitRow(row);
        } else {
            float *cells = m_cells + std::size_t(row) * std::size_t(m_stride);
            std::fill(cells, cells + m_stride, 0.0f);
            sampleRow(row, cells);
        }
    }
    return true;
}

// Adds an edge's area row by row, clipped to the box's rows.
void Filler::line(const Segment &segment)
{
    float x0 = segment.x0 - float(m_left), y0 = segment.y0 - float(m_top);
    float x1 = segment.x1 - float(m_left), y1 = segment.y1 - float(m_top);
    float d = segment.weight;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        d = -d;
    }
    const float rows = float(m_rows);
    if (!(y1 > y0) || !(y1 > 0) || !(y0 < rows))
        return;
    // Most pieces of a flattened outline lie within one row.
    if (y0 >= 0 && y1 <= rows) {
        const int row = static_cast<int>(y0);
        if (float(row + 1) >= y1) {
            span(row, x0, x1, (y1 - y0) * d);
            return;
        }
    }
    const float top = std::max(y0, 0.0f);
    const float bottom = std::min(y1, rows);
    const int first = static_cast<int>(top);
    const int last = std::min(m_rows, ceilOf(bottom));
    if (x0 == x1 && x0 >= 0 && x0 <= float(m_width)) {
        // Upright (rectangles, "V"): in every row the edge splits one
        // cell's area the same way (spanInside's arithmetic, without a
        // call per row).
        const int i0 = static_cast<int>(x0);
        const float share = 0.5f * (x0 + x1) - float(i0);
        float *cells = m_cells + std::size_t(first) * std::size_t(m_stride) + i0;
        for (int row = first; row < last; ++row, cells += m_stride) {
            const float yb = std::min(float(row + 1), bottom);
            const float ya = std::max(float(row), top);
            const float height = (yb - ya) * d;
            cells[0] += height - height * share;
            cells[1] += height * share;
        }
        return;
    }
    const float slope = (x1 - x0) / (y1 - y0);
    float x = x0 + (top - y0) * slope;
    for (int row = first; row < last; ++row) {
        const float yb = std::min(float(row + 1), bottom);
        const float ya = std::max(float(row), top);
        const float next = row + 1 >= last ? x0 + (bottom - y0) * slope : x + (yb - ya) * slope;
        span(row, x, next, (yb - ya) * d);
        x = next;
    }
}

// One row's part of an edge, from xa at its top to xb at its bottom, of
// weight d (its height in the row, signed). What lies left of the box is
// a vertical edge along its left side; what lies right of it shows
// nowhere.
void Filler::span(int row, float xa, float xb, float d)
{
    const float width = float(m_width);
    float *cells = m_cells + std::size_t(row) * std::size_t(m_stride);
    if (xa >= 0 && xb >= 0 && xa <= width && xb <= width) {
        spanInside(cells, xa, xb, d);
        return;
    }
    if (xa <= 0 && xb <= 0) {
        cells[0] += d;
        return;
    }
    if (xa >= width && xb >= width)
        return;
    if (xa < 0 || xb < 0) {
        // The share of the height spent left of the box.
        const float t = (0 - xa) / (xb - xa);
        const float leftShare = xa < 0 ? t : 1 - t;
        cells[0] += d * leftShare;
        d -= d * leftShare;
        (xa < 0 ? xa : xb) = 0;
    }
    if (xa > width || xb > width) {
        const float t = (width - xa) / (xb - xa);
        d *= xa > width ? 1 - t : t;
        (xa > width ? xa : xb) = width;
    }
    spanInside(cells, xa, xb, d);
}

void Filler::spanInside(float *cells, float xa, float xb, float d)
{
    const float x0 = std::min(xa, xb);
    const float x1 = std::max(xa, xb);
    const int i0 = static_cast<int>(x0);
    if (x1 <= float(i0 + 1)) {
        // Within one cell: its area splits by the mean position.
        const float share = 0.5f * (xa + xb) - float(i0);
        cells[i0] += d - d * share;
        cells[i0 + 1] += d * share;
        return;
    }
    const int i1 = ceilOf(x1);
    const float slope = 1.0f / (x1 - x0);
    const float f0 = x0 - float(i0);
    const float a0 = 0.5f * slope * (1 - f0) * (1 - f0);
    const float f1 = x1 - float(i1) + 1;
    const float am = 0.5f * slope * f1 * f1;
    cells[i0] += d * a0;
    if (i1 == i0 + 2) {
        cells[i0 + 1] += d * (1 - a0 - am);
    } else {
        const float a1 = slope * (1.5f - f0);
        cells[i0 + 1] += d * (a1 - a0);
        for (int i = i0 + 2; i < i1 - 1; ++i)
            cells[i] += d * slope;
        const float a2 = a1 + float(i1 - i0 - 3) * slope;
        cells[i1 - 1] += d * (1 - a2 - am);
    }
    cells[i1] += d * am;
}

// Turns the rows' cells into running sums in place, noting each row's
// lowest and highest sum. Two rows at a time: each sum is a chain of
// additions that waits on the last, and two chains overlap.
void Filler::sumRows(std::vector<std::pair<float, float>> &range)
{
    // Over whole rows: keeping each row's range of touched cells cost
    // more, in the edges' inner loop, than the cells it saved.
    int row = 0;
    for (; row + 2 <= m_rows; row += 2) {
        float *a = m_cells + std::size_t(row) * std::size_t(m_stride);
        float *b = a + m_stride;
        float wa = 0, wb = 0;
        for (int c = 0; c < m_stride; ++c) {
            wa += a[c];
            a[c] = wa;
            wb += b[c];
            b[c] = wb;
        }
        range[std::size_t(row)] = rangeOf(a);
        range[std::size_t(row) + 1] = rangeOf(b);
    }
    if (row < m_rows) {
        float *cells = m_cells + std::size_t(row) * std::size_t(m_stride);
        float winding = 0;
        for (int c = 0; c < m_stride; ++c) {
            winding += cells[c];
            cells[c] = winding;
        }
        range[std::size_t(row)] = rangeOf(cells);
    }
}

// The lowest and highest of a row's sums (and zero).
std::pair<float, float> Filler::rangeOf(const float *cells) const
{
    float low = 0, high = 0;
    int c = 0;
#if defined(__SSE2__)
    __m128 lows = _mm_setzero_ps(), highs = _mm_setzero_ps();
    for (; c + 4 <= m_stride; c += 4) {
        const __m128 x = _mm_loadu_ps(cells + c);
        lows = _mm_min_ps(lows, x);
        highs = _mm_max_ps(highs, x);
    }
    alignas(16) float l[4], h[4];
    _mm_store_ps(l, lows);
    _mm_store_ps(h, highs);
    low = std::min(std::min(l[0], l[1]), std::min(l[2], l[3]));
    high = std::max(std::max(h[0], h[1]), std::max(h[2], h[3]));
#endif
    for (; c < m_stride; ++c) {
        low = std::min(low, cells[c]);
        high = std::max(high, cells[c]);
    }
    return {low, high};
}

// Marks in `plain` whether each row's area sums are exact (kPlain): where
// no two parts of the outline overlap inside a pixel. Where the winding
// goes past one either way, parts overlap (kOverlapping; the rows beside
// it are sampled too). Where shapes wound in opposite directions meet
// inside a pixel, their areas cancel there: a pixel shared by both has
// cells winding either way among its neighbours, so rows with such cells
// close to each other (kMeetingColumns, kMeetingRows) are sampled
// (kMeeting; each row that may hold such a pixel is marked itself).
void Filler::classifyRows(const std::vector<std::pair<float, float>> &range, std::vector<char> &plain) const
{
    auto positive = [&](int row) { return range[std::size_t(row)].second > kSlack; };
    auto negative = [&](int row) { return range[std::size_t(row)].first < -kSlack; };
    // Mostly all one way.
    bool anyPositive = false, anyNegative = false;
    for (int row = 0; row < m_rows; ++row) {
        const auto [low, high] = range[std::size_t(row)];
        plain[std::size_t(row)] = high > 1 + kSlack || low < -1 - kSlack ? kOverlapping : kPlain;
        anyPositive = anyPositive || high > kSlack;
        anyNegative = anyNegative || low < -kSlack;
    }
    if (!anyPositive || !anyNegative)
        return;
    for (int row = 0; row < m_rows; ++row) {
        if (plain[std::size_t(row)] == kOverlapping)
            continue;
        bool opposite = false;
        for (int near = std::max(row - kMeetingRows, 0); near <= std::min(row + kMeetingRows, m_rows - 1); ++near)
            opposite = opposite || (positive(row) && negative(near)) || (negative(row) && positive(near));
        if (opposite && !windingsApart(row))
            plain[std::size_t(row)] = kMeeting;
    }
}

// Whether no cell of the row winding one way has a cell winding the other
// way within kMeetingColumns columns and kMeetingRows rows.
bool Filler::windingsApart(int row) const
{
    const int firstRow = std::max(row - kMeetingRows, 0);
    const int lastRow = std::min(row + kMeetingRows, m_rows - 1);
    auto at = [&](int r) { return m_cells + std::size_t(r) * std::size_t(m_stride); };
    if (m_stride <= 64) {
        // As bit masks of the cells winding either way.
        auto masks = [&](int r, uint64_t &positive, uint64_t &negative) {
            const float *cells = at(r);
            positive = negative = 0;
            for (int c = 0; c < m_stride; ++c) {
                positive |= uint64_t(cells[c] > kSlack) << c;
                negative |= uint64_t(cells[c] < -kSlack) << c;
            }
        };
        auto spread = [](uint64_t m) {
            for (int k = 0; k < kMeetingColumns; ++k)
                m |= m << 1 | m >> 1;
            return m;
        };
        uint64_t positive = 0, negative = 0;
        masks(row, positive, negative);
        const uint64_t nearPositive = spread(positive);
        const uint64_t nearNegative = spread(negative);
        for (int r = firstRow; r <= lastRow; ++r) {
            uint64_t p = positive, n = negative;
            if (r != row)
                masks(r, p, n);
            if ((nearPositive & n) || (nearNegative & p))
                return false;
        }
        return true;
    }
    const float *cells = at(row);
    for (int c = 0; c < m_stride; ++c) {
        const float v = cells[c];
        if (!(v > kSlack || v < -kSlack))
            continue;
        const int from = std::max(c - kMeetingColumns, 0);
        const int to = std::min(c + kMeetingColumns, m_stride - 1);
        for (int r = firstRow; r <= lastRow; ++r) {
            const float *near = at(r);
            for (int k = from; k <= to; ++k) {
                if (v > 0 ? near[k] < -kSlack : near[k] > kSlack)
                    return false;
            }
        }
    }
    return true;
}

void Filler::emitRow(int row)
{
    if (m_mask)
        m_evenOdd ? emitRowAs<true, true>(row) : emitRowAs<true, false>(row);
    else
        m_evenOdd ? emitRowAs<false, true>(row) : emitRowAs<false, false>(row);
}

template <bool ToMask, bool EvenOdd>
void Filler::emitRowAs(int row)
{
    float *cells = m_cells + std::size_t(row) * std::size_t(m_stride);
    uint32_t *line = ToMask ? nullptr : pixels(row);
    uchar *bytes = ToMask ? maskRow(row) : nullptr;
    auto alphaOf = [](float winding) {
        float w = std::abs(winding);
        if (EvenOdd) {
            w -= 2.0f * float(static_cast<int>(w * 0.5f));
            w = w > 1.0f ? 2.0f - w : w;
        }
        return static_cast<int>(std::min(w, 1.0f) * 255.0f + 0.5f);
    };
    auto put = [&](int c, int alpha) {
        if (ToMask)
            bytes[c] = static_cast<uchar>(alpha);
        else if (alpha > 0)
            blend(line + c, alpha, c);
    };
    const int visible = m_width;
    if (!ToMask)
        shadeRow(row, 0, visible);
    int c = 0;
#if defined(__SSE2__)
    // Four cells at a time, with the same arithmetic: runs outside the
    // shape are passed over and runs inside an opaque solid shape stored.
    if (!ToMask) {
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        const __m128 one = _mm_set1_ps(1.0f), two = _mm_set1_ps(2.0f), half = _mm_set1_ps(0.5f);
        const __m128 scale = _mm_set1_ps(255.0f);
        const bool solid = m_opaque && !m_shader;
        for (; c + 4 <= visible; c += 4) {
            __m128 w = _mm_and_ps(_mm_loadu_ps(cells + c), magnitude);
            if (EvenOdd) {
                w = _mm_sub_ps(w, _mm_mul_ps(two, _mm_cvtepi32_ps(_mm_cvttps_epi32(_mm_mul_ps(w, half)))));
                w = _mm_min_ps(w, _mm_sub_ps(two, w));
            }
            const __m128i alpha = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_min_ps(w, one), scale), half));
            _mm_storeu_ps(cells + c, _mm_setzero_ps());
            const int none = _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_setzero_si128()));
            if (none == 0xffff)
                continue;
            if (solid && _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(255))) == 0xffff) {
                _mm_storeu_si128(reinterpret_cast<__m128i *>(line + c), _mm_set1_epi32(int(m_color)));
                continue;
            }
            const __m128i colors = m_shader ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_shade + c))
                                            : _mm_set1_epi32(int(m_color));
            auto *at = reinterpret_cast<__m128i *>(line + c);
            _mm_storeu_si128(at, blend4(_mm_loadu_si128(at), colors, alpha));
        }
    }
#endif
    for (; c < visible; ++c) {
        put(c, alphaOf(cells[c]));
        cells[c] = 0;
    }
    for (int c = visible; c < m_stride; ++c)
        cells[c] = 0;
}

// The row's coverage from the winding at evenly spaced heights, each
// taken exactly across the row: overlapping parts count once. `cells` is
// the row's (cleared) cells, used for the spans' ends and cleared again.
void Filler::sampleRow(int row, float *cells)
{
    // The edges crossing the row, in order of where they cross its middle,
    // as where they are at its first sampled height and how far they move
    // from one to the next.
    auto &edges = m_scratch.rowEdges;
    edges.clear();
    const float top = float(m_top + row);
    const float bottom = top + 1;
    const float step = 1.0f / float(kRowSamples);
    for (const Segment &e : *m_segments) {
        const bool down = e.y0 < e.y1;
        const float from = down ? e.y0 : e.y1;
        const float to = down ? e.y1 : e.y0;
        if (to <= top || from >= bottom)
            continue;
        const float slope = (e.x1 - e.x0) / (e.y1 - e.y0);
        const float y = top + 0.5f * step;
        edges.push_back({from, to, e.x0 + (y - e.y0) * slope - float(m_left), slope * step,
                         (e.weight > 0) == down ? 1 : -1});
    }
    std::sort(edges.begin(), edges.end(), [](const RowEdge &a, const RowEdge &b) {
        return a.x + a.dx * (kRowSamples / 2) < b.x + b.dx * (kRowSamples / 2);
    });
    auto &crossings = m_scratch.crossings;
    const float width = float(m_width);
    int lo = m_width, hi = -1;
    // A span as differences: each cell gets the part of its width the span
    // covers once summed across.
    auto span = [&](float a, float b) {
        a = std::clamp(a, 0.0f, width);
        b = std::clamp(b, 0.0f, width);
        if (b <= a)
            return;
        const int ia = static_cast<int>(a);
        const int ib = static_cast<int>(b);
        const float fa = a - float(ia), fb = b - float(ib);
        cells[ia] += (1 - fa) * step;
        cells[ia + 1] += fa * step;
        cells[ib] -= (1 - fb) * step;
        cells[ib + 1] -= fb * step;
        lo = std::min(lo, ia);
        hi = std::max(hi, ib + 1);
    };
    for (int k = 0; k < kRowSamples; ++k) {
        const float y = top + (float(k) + 0.5f) * step;
        crossings.clear();
        for (const RowEdge &e : edges) {
            if (e.from <= y && y < e.to)
                crossings.push_back({e.x + float(k) * e.dx, e.wind});
        }
        // Nearly in order already.
        for (std::size_t a = 1; a < crossings.size(); ++a) {
            const Crossing c = crossings[a];
            std::size_t b = a;
            for (; b > 0 && c.x < crossings[b - 1].x; --b)
                crossings[b] = crossings[b - 1];
            crossings[b] = c;
        }
        int winding = 0;
        float from = 0;
        for (const Crossing &c : crossings) {
            const bool was = m_evenOdd ? (winding & 1) != 0 : winding != 0;
            winding += c.wind;
            const bool is = m_evenOdd ? (winding & 1) != 0 : winding != 0;
            if (!was && is)
                from = c.x;
            else if (was && !is)
                span(from, c.x);
        }
        // What closes it lies right of the image.
        if (m_evenOdd ? (winding & 1) != 0 : winding != 0)
            span(from, width);
    }
    uint32_t *line = m_mask ? nullptr : pixels(row);
    uchar *bytes = m_mask ? maskRow(row) : nullptr;
    if (!m_mask)
        shadeRow(row, std::max(lo, 0), std::min(hi + 1, m_width));
    float cover = 0;
    for (int c = std::max(lo, 0); c <= hi && c < m_stride; ++c) {
        cover += cells[c];
        cells[c] = 0;
        if (c < m_width)
            put(line, bytes, c, std::min(cover, 1.0f));
    }
}

// ---- Flattening ----

struct Cubic
{
    QPointF p0, c1, c2, p3;

    QPointF tangent(double t) const
    {
        const double u = 1 - t;
        return (c1 - p0) * (u * u) + (c2 - c1) * (2 * t * u) + (p3 - c2) * (t * t);
    }
    QPointF startTangent() const
    {
        return unit(!isZero(c1 - p0) ? c1 - p0 : !isZero(c2 - p0) ? c2 - p0 : p3 - p0);
    }
    QPointF endTangent() const
    {
        return unit(!isZero(p3 - c2) ? p3 - c2 : !isZero(p3 - c1) ? p3 - c1 : p3 - p0);
    }
};

// Appends the points of the curve after p0 with their parameters: as many
// even steps in the parameter as keep every piece within kEvenTolerance of
// the curve (a bound from the control polygon's second differences, so
// within cairo's tolerance however the curve bends), walked by forward
// differences.
// 1 / n for the usual step counts (the same doubles; a division waits
// long on the rest of the steps' set-up).
constexpr auto kReciprocals = [] {
    std::array<double, 65> table{};
    for (std::size_t n = 1; n < table.size(); ++n)
        table[n] = 1.0 / double(n);
    return table;
}();

// The step counts of the table above by the squared bend they take at
// most: n steps keep within the tolerance while sqrt(0.75 bend / tolerance)
// <= n, that is bend² <= (n² tolerance / 0.75)². Looking the count up
// saves two square roots in a row on every curve.
constexpr auto kBendLimits = [] {
    std::array<double, std::size(kReciprocals)> table{};
    for (std::size_t n = 1; n < table.size(); ++n) {
        const double bend = double(n * n) * kEvenTolerance / 0.75;
        table[n] = bend * bend;
    }
    return table;
}();

template <typename Out>
void flattenEvenly(const Cubic &c, Out &&out)
{
    const QPointF d1 = c.p0 - 2 * c.c1 + c.c2;
    const QPointF d2 = c.c1 - 2 * c.c2 + c.p3;
    const double bendSquared = std::max(dot(d1, d1), dot(d2, d2));
    int n = 1;
    while (n < int(std::size(kBendLimits)) && !(bendSquared <= kBendLimits[n]))
        ++n;
    if (n == int(std::size(kBendLimits))) {
        const double steps = std::ceil(std::sqrt(0.75 * std::sqrt(bendSquared) / kEvenTolerance));
        n = !(steps < double(kMaxFlattenPieces)) ? kMaxFlattenPieces : std::max(1, static_cast<int>(steps));
    }
    const double h = n < int(std::size(kReciprocals)) ? kReciprocals[n] : 1.0 / n;
    const QPointF a = (c.c1 - c.c2) * 3 + c.p3 - c.p0;
    const QPointF b = (c.p0 - 2 * c.c1 + c.c2) * 3;
    const QPointF e = (c.c1 - c.p0) * 3;
    QPointF f = c.p0;
    QPointF df = a * (h * h * h) + b * (h * h) + e * h;
    QPointF ddf = a * (6 * h * h * h) + b * (2 * h * h);
    const QPointF dddf = a * (6 * h * h * h);
    for (int i = 1; i < n; ++i) {
        f += df;
        df += ddf;
        ddf += dddf;
        out(f, i * h);
    }
    out(c.p3, 1.0);
}

// Whether a box lies wholly beyond one side of the image grown by `margin`:
// what it draws there cannot show, and a curve in it may become its chord.
bool outside(const QRectF &box, const Target &target, double margin)
{
    return box.right() <= -margin || box.bottom() <= -margin || box.left() >= target.width + margin
           || box.top() >= target.height + margin;
}

QRectF controlBox(const Cubic &c)
{
    const double left = std::min({c.p0.x(), c.c1.x(), c.c2.x(), c.p3.x()});
    const double right = std::max({c.p0.x(), c.c1.x(), c.c2.x(), c.p3.x()});
    const double top = std::min({c.p0.y(), c.c1.y(), c.c2.y(), c.p3.y()});
    const double bottom = std::max({c.p0.y(), c.c1.y(), c.c2.y(), c.p3.y()});
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

// Walks the path as cairo is handed it (arms clamped, noise lines dropped,
// subpaths closed by `closedEnds` or by ending at their start), in image
// coordinates on cairo's fixed-point grid.
//
// A sink (called directly, so that its steps inline into the walk) has
//   move(QPointF p);
//   line(QPointF to);      a line of length (noise lines are reported as zero())
//   zero();
//   finish(int first, int last, bool closed);   the end of the subpath whose
//                                               elements were [first, last]
// and either, with kCurveParameters true,
//   curve(const Cubic &c, const std::vector<std::pair<QPointF, double>> &points);
// a curve flattened into `points` (after its start) with the parameter of
// each, or, with it false, the flattened points of curves handed to line().
class Walker
{
public:
    // Answers false, having stopped, at a coordinate that is not finite.
    template <typename Sink>
    static bool walk(const KTNSVGPainterPath &path, const QPoint &origin, const QList<int> *closedEnds, const Target &target,
                     double margin, std::vector<std::pair<QPointF, double>> &points, Sink &sink)
    {
        const int count = path.elementCount();
        const QPointF shift(origin);
        const double scale = target.scale;
        int start = -1;
        QPointF last;    // unsnapped, as appendToCairo compares
        QPointF current; // snapped
        auto finish = [&](int end) {
            if (start < 0)
                return;
            bool closed = false;
            if (end > start)
                closed = closedEnds ? std::binary_search(closedEnds->begin(), closedEnds->end(), end)
                                    : samePoint(scaledElement(path, start, scale), scaledElement(path, end, scale));
            sink.finish(start, end, closed);
        };
        for (int i = 0; i < count; ++i) {
            const QPainterPath::Element e = scaledElement(path, i, scale);
            if (!std::isfinite(e.x) || !std::isfinite(e.y))
                return false;
            const QPointF p = QPointF(e.x, e.y) - shift;
            switch (e.type) {
            case QPainterPath::MoveToElement:
                finish(i - 1);
                start = i;
                last = p;
                current = snap(p);
                sink.move(current);
                break;
            case QPainterPath::LineToElement: {
                if (std::abs(p.x() - last.x()) < kNoiseLine && std::abs(p.y() - last.y()) < kNoiseLine) {
                    sink.zero();
                    break;
                }
                last = p;
                const QPointF to = snap(p);
                if (sameSnapped(to, current)) {
                    sink.zero();
                } else {
                    sink.line(to);
                    current = to;
                }
                break;
            }
            case QPainterPath::CurveToElement:
                if (i + 2 < count) {
                    const QPainterPath::Element c2 = scaledElement(path, i + 1, scale);
                    const QPainterPath::Element c3 = scaledElement(path, i + 2, scale);
                    if (!std::isfinite(c2.x) || !std::isfinite(c2.y) || !std::isfinite(c3.x) || !std::isfinite(c3.y))
                        return false;
                    const QPointF end = QPointF(c3.x, c3.y) - shift;
                    const QPointF span = end - last;
                    const double chord = span.x() * span.x() + span.y() * span.y();
                    Cubic c{current, snap(clampedArm(last, p, chord)),
                            snap(clampedArm(end, QPointF(c2.x, c2.y) - shift, chord)), snap(end)};
                    last = end;
                    i += 2;
                    if (sameSnapped(c.p0, c.c1) && sameSnapped(c.p0, c.c2) && sameSnapped(c.p0, c.p3)) {
                        sink.zero();
                        break;
                    }
                    if constexpr (Sink::kCurveParameters) {
                        points.clear();
                        if (outside(controlBox(c), target, margin))
                            points.emplace_back(c.p3, 1.0);
                        else
                            flattenEvenly(c, [&](QPointF p, double t) { points.emplace_back(p, t); });
                        sink.curve(c, points);
                    } else if (outside(controlBox(c), target, margin)) {
                        sink.line(c.p3);
                    } else {
                        flattenEvenly(c, [&](QPointF p, double) { sink.line(p); });
                    }
                    current = c.p3;
                }
                break;
            case QPainterPath::CurveToDataElement:
                break;
            }
        }
        finish(count - 1);
        return true;
    }
};

// ---- Fill outlines ----

class FillSink
{
public:
    static constexpr bool kCurveParameters = false;

    FillSink(Edges &edges, std::vector<QPointF> &points) : m_edges(edges), m_points(points) {}
    void move(QPointF p)
    {
        m_points.clear();
        m_points.push_back(p);
    }
    void line(QPointF to) { m_points.push_back(to); }
    void zero() {}
    void finish(int, int, bool)
    {
        m_edges.addContour(m_points, 1);
        m_points.clear();
    }

private:
    Edges &m_edges;
    std::vector<QPointF> &m_points;
};

// ---- Strokes ----

// Builds the outline of a stroke as cairo's stroker does: each side offset
// from the line, round or mitred on the outer side of a join and through
// the join's point on the inner side, caps at open ends. Curves are offset
// along their tangent at every flattened point, so they show no facets.
// The result is filled with the non-zero rule.
class StrokeSink
{
public:
    static constexpr bool kCurveParameters = true;

    StrokeSink(Edges &edges, const StrokeStyle &style, const KTNSVGPainterPath &path, const Target &target, Scratch &s)
        : m_edges(edges), m_style(style), m_path(path), m_origin(target.origin), m_scale(target.scale),
          m_half(style.width / 2), m_pen(s.pen), m_left(s.left), m_right(s.right), m_centre(s.centre)
    {
        m_miter2 = style.miterLimit * style.miterLimit;
        // A turn between flattened points beyond which the straight offset
        // strays from the round one by more than the tolerance.
        const double keep = 1 - kTolerance / m_half;
        m_cuspCosine = m_half > kTolerance ? 2 * keep * keep - 1 : -1;
        if (s.penHalf == m_half)
            return;
        s.penHalf = m_half;
        // The pen: regular polygon vertices on the circle, as many as keep
        // its sides within the tolerance.
        int n = 4;
        if (m_half > kTolerance) {
            const double step = std::acos(1 - kTolerance / m_half);
            n = static_cast<int>(std::min<double>(std::ceil(2 * std::numbers::pi / step), kMaxPenVertices));
            n += n % 2;
            n = std::max(n, 4);
        }
        m_pen.resize(n);
        for (int k = 0; k < n; ++k) {
            const double angle = 2 * std::numbers::pi * k / n;
            m_pen[k] = QPointF(std::cos(angle), std::sin(angle)) * m_half;
        }
    }

    void move(QPointF p)
    {
        m_start = p;
        m_current = p;
        m_hasLength = false;
        m_left.clear();
        m_right.clear();
        m_centre.clear();
        m_centre.push_back(p);
    }

    void zero() {}

    void line(QPointF to)
    {
        const QPointF span = to - m_current;
        const QPointF d = unit(span);
        begin(d, std::sqrt(dot(span, span)));
        offsetPoint(to, d);
        m_centre.push_back(to);
        m_current = to;
        m_lastDir = d;
    }

    void curve(const Cubic &c, const std::vector<std::pair<QPointF, double>> &points)
    {
        QPointF previous = m_current;
        QPointF d = c.startTangent();
        if (isZero(d) || points.empty())
            return;
        const QPointF first = points.front().first - m_current;
        begin(d, std::sqrt(dot(first, first)));
        for (std::size_t k = 0; k < points.size(); ++k) {
            const QPointF p = points[k].first;
            QPointF t = k + 1 == points.size() ? c.endTangent() : unit(c.tangent(points[k].second));
            if (isZero(t))
                t = unit(p - previous);
            if (isZero(t))
                continue;
            if (dot(t, d) < m_cuspCosine) {
                // A sharp turn between samples: the outer side goes round
                // the previous point, as cairo's stroker takes it.
                fan(previous, d, t);
            }
            offsetPoint(p, t);
            m_centre.push_back(p);
            previous = p;
            d = t;
        }
        m_current = c.p3;
        m_lastDir = d;
    }

    void finish(int first, int last, bool closed)
    {
        // With round caps and joins, an open line that ends where it began
        // (or a hair away) covers what the closed line covers (the two caps there make the
        // disc a join and the lines already cover); drawn closed, its caps
        // do not count twice where they overlap on its edge.
        if (!closed && m_style.cap == 1 && m_style.join == 1 && m_hasLength) {
            const QPointF gap = m_current - m_start;
            closed = std::abs(gap.x()) < kNearEnd && std::abs(gap.y()) < kNearEnd;
        }
        if (closed && m_hasLength && m_current != m_start)
            line(m_start);
        if (!m_hasLength) {
            addDot(first, last);
        } else if (closed) {
            joinMiddle(m_start, m_lastDir, m_firstDir, m_style.join, 0, true);
            m_edges.addContour(m_left, 1);
            m_edges.addContour(m_right, -1);
            // The line's winding has the sign of the larger of its sides.
            const double left = signedArea(m_left), right = signedArea(m_right);
            m_lineSign = std::abs(left) >= std::abs(right) ? (left < 0 ? -1 : 1) : (right < 0 ? 1 : -1);
        } else {
            // Left side forward, round the end, right side back, round the
            // start.
            capMiddle(m_current, m_lastDir, m_left);
            m_left.insert(m_left.end(), m_right.rbegin(), m_right.rend());
            capMiddle(m_start, -m_firstDir, m_left);
            m_edges.addContour(m_left, 1);
        }
        if (m_hasLength)
            insideOfSmallShape(first, last);
        m_hasLength = false;
    }

private:
    // The first direction of a subpath, or the join with the one before.
    // `length`: how long the piece that starts here is.
    void begin(QPointF d, double length)
    {
        if (!m_hasLength) {
            m_hasLength = true;
            m_firstDir = d;
            offsetPoint(m_current, d);
        } else {
            joinMiddle(m_current, m_lastDir, d, m_style.join, length, false);
            offsetPoint(m_current, d);
        }
    }

    void offsetPoint(QPointF p, QPointF d)
    {
        const QPointF n = normal(d) * m_half;
        m_left.push_back(p + n);
        m_right.push_back(p - n);
    }

    // The points of a join between the offset points of d1 and of d2, on
    // both sides. `nextLength` is the length of the piece leaving the
    // join; `closing` joins a closed subpath's end to its start.
    void joinMiddle(QPointF p, QPointF d1, QPointF d2, int join, double nextLength, bool closing)
    {
        const double c = cross(d1, d2);
        const double cosine = dot(d1, d2);
        if (std::abs(c) < 1e-9 && cosine > 0)
            return;
        for (int side : {1, -1}) {
            std::vector<QPointF> &out = side > 0 ? m_left : m_right;
            // A reversal has two outer sides; the left one gets the join.
            const bool reversal = std::abs(c) < 1e-9;
            const bool outer = reversal ? side > 0 : side * c < 0;
            if (!outer) {
                innerCorner(out, p, d1, d2, side, reversal ? -1.0 : cosine, c, nextLength, closing);
                continue;
            }
            if (join == 1) {
                // Below the turn where a chord strays from the arc by the
                // tolerance, cairo bevels a round join.
                if (cosine >= m_cuspCosine)
                    continue;
                const int rotation = reversal ? -side : (c > 0 ? 1 : -1);
                arc(p, normal(d1) * side, rotation, std::acos(std::clamp(cosine, -1.0, 1.0)), out);
            } else if (join == 0 && 2 <= m_miter2 * (1 + cosine)) {
                out.push_back(p + (normal(d1) + normal(d2)) * (side * m_half / (1 + cosine)));
            }
        }
    }

    // The inner side of a join meets where its two offset lines cross, when
    // that lies along both of them: the outline then covers the line once
    // there. Otherwise it goes through the join's point, as cairo's stroker
    // does, and folds over itself (which the filler samples out).
    void innerCorner(std::vector<QPointF> &out, QPointF p, QPointF d1, QPointF d2, int side, double cosine,
                     double c, double nextLength, bool closing) const
    {
        const std::size_t n = out.size();
        if (n >= 2 && 1 + cosine > 1e-6) {
            const double back = m_half * std::abs(c) / (1 + cosine);
            const QPointF previous = out[n - 1] - out[n - 2];
            const QPointF following = out[1] - out[0];
            const double next = closing ? std::sqrt(dot(following, following)) : nextLength;
            if (back <= std::sqrt(dot(previous, previous)) && back <= next) {
                const QPointF corner = p + (normal(d1) + normal(d2)) * (side * m_half / (1 + cosine));
                out[n - 1] = corner;
                if (closing)
                    out[0] = corner;
                return;
            }
        }
        out.push_back(p);
    }

    // The pen vertices of the outer side of a turn from d1 to d2 about
    // `centre`.
    void fan(QPointF centre, QPointF d1, QPointF d2)
    {
        const double c = cross(d1, d2);
        const bool reversal = std::abs(c) < 1e-9;
        const int side = reversal || c < 0 ? 1 : -1;
        const int rotation = reversal ? -side : (c > 0 ? 1 : -1);
        arc(centre, normal(d1) * side, rotation, std::acos(std::clamp(dot(d1, d2), -1.0, 1.0)),
            side > 0 ? m_left : m_right);
    }

    // The pen vertices strictly between direction `from` and `from` turned
    // by `span` radians in `rotation`'s sense.
    void arc(QPointF centre, QPointF from, int rotation, double span, std::vector<QPointF> &out) const
    {
        const int n = static_cast<int>(m_pen.size());
        const double step = 2 * std::numbers::pi / n;
        const double start = std::atan2(from.y(), from.x()) / step;
        const double turn = span / step;
        const double eps = 1e-9;
        if (rotation > 0) {
            for (double k = std::floor(start + eps) + 1; k < start + turn - eps; k += 1)
                out.push_back(centre + m_pen[((static_cast<long>(k) % n) + n) % n]);
        } else {
            for (double k = std::ceil(start - eps) - 1; k > start - turn + eps; k -= 1)
                out.push_back(centre + m_pen[((static_cast<long>(k) % n) + n) % n]);
        }
    }

    // The cap at `p` where the line leaves in direction `d`, between the
    // left and the right offset points.
    void capMiddle(QPointF p, QPointF d, std::vector<QPointF> &out) const
    {
        const QPointF n = normal(d) * m_half;
        if (m_style.cap == 1) {
            arc(p, normal(d), -1, std::numbers::pi, out);
        } else if (m_style.cap == 2) {
            out.push_back(p + n + d * m_half);
            out.push_back(p - n + d * m_half);
        }
    }

    // A subpath of no length: a dot for round caps; for square caps the
    // square about its point with sides along the axes (cairo's stroker
    // gives such subpaths round caps only, and the engine adds the square).
    void addDot(int first, int last)
    {
        if (last <= first)
            return;
        if (m_style.cap == 1) {
            std::vector<QPointF> circle;
            for (const QPointF &v : m_pen)
                circle.push_back(m_start + v);
            // Counter-clockwise, unlike the stroke outlines: weighted so
            // that the two add up where they overlap.
            m_edges.addContour(circle, -1);
        } else if (m_style.cap == 2 && degenerate(first, last)) {
            const QPainterPath::Element e = scaledElement(m_path, first, m_scale);
            const QPointF at = snap(QPointF(e.x, e.y) - QPointF(m_origin));
            const double h = m_half;
            m_edges.addContour({at + QPointF(-h, -h), at + QPointF(h, -h), at + QPointF(h, h), at + QPointF(-h, h)},
                               -1);
        }
    }

    // Whether every element of the subpath lies within a noise line of its
    // start.
    bool degenerate(int first, int last) const
    {
        const QPainterPath::Element at = scaledElement(m_path, first, m_scale);
        for (int k = first + 1; k <= last; ++k) {
            const QPainterPath::Element e = scaledElement(m_path, k, m_scale);
            if (std::abs(e.x - at.x) >= kNoiseLine || std::abs(e.y - at.y) >= kNoiseLine)
                return false;
        }
        return true;
    }

    // A closed subpath narrower than the line is covered whole, where the
    // inner offset turns over and would leave a hole: its inside joins the
    // line.
    void insideOfSmallShape(int first, int last)
    {
        if (!samePoint(scaledElement(m_path, last, m_scale), scaledElement(m_path, first, m_scale)))
            return;
        const QPainterPath::Element start = scaledElement(m_path, first, m_scale);
        double left = start.x, right = start.x, top = start.y, bottom = start.y;
        for (int k = first + 1; k <= last; ++k) {
            const QPainterPath::Element e = scaledElement(m_path, k, m_scale);
            left = std::min(left, e.x);
            right = std::max(right, e.x);
            top = std::min(top, e.y);
            bottom = std::max(bottom, e.y);
        }
        // Counted with the line's sign, so that where the two overlap they
        // add up instead of cancelling.
        if (std::min(right - left, bottom - top) < m_style.width)
            m_edges.addContour(m_centre, signedArea(m_centre) < 0 ? -m_lineSign : m_lineSign);
    }

    Edges &m_edges;
    const StrokeStyle &m_style;
    const KTNSVGPainterPath &m_path;
    QPoint m_origin;
    double m_scale;
    double m_half;
    double m_miter2 = 100;
    double m_cuspCosine = -1;
    std::vector<QPointF> &m_pen;
    QPointF m_start, m_current, m_firstDir, m_lastDir;
    bool m_hasLength = false;
    int m_lineSign = 1;
    std::vector<QPointF> &m_left, &m_right, &m_centre;
};

bool clearOfImage(const KTNSVGPainterPath &path, const Target &target, double margin)
{
    const QRectF box = scaledControlBox(path, target.scale).translated(-QPointF(target.origin));
    return outside(box, target, margin);
}

// Whether the box the path may cover within the image is small enough
// for area sums.
bool smallEnough(const KTNSVGPainterPath &path, const Target &target, double margin)
{
    const QRectF box = scaledControlBox(path, target.scale)
                           .translated(-QPointF(target.origin))
                           .adjusted(-margin, -margin, margin, margin)
                           .intersected(QRectF(0, 0, target.width, target.height));
    // A box that is not finite comes from coordinates that are not: the
    // walk refuses those (and draws nothing) without handing them on.
    return box.isEmpty() || !std::isfinite(box.width() * box.height())
           || (box.width() + 3) * (box.height() + 1) <= double(kMaxCells);
}

bool validTarget(const Target &target)
{
    return target.bits && target.width > 0 && target.height > 0 && target.stride >= qsizetype(target.width) * 4
           && target.scale > 0 && std::isfinite(target.scale);
}

} // namespace

QRgb premultiplied(const QColor &color, double opacity)
{
    // Cairo keeps a colour as 16-bit premultiplied channels and hands the
    // top 8 bits of each to the compositor.
    const double alpha = std::clamp(double(color.alphaF()) * (std::isnan(opacity) ? 1.0 : opacity), 0.0, 1.0);
    auto channel = [&](double v) {
        return static_cast<uint32_t>(std::clamp(v, 0.0, 1.0) * alpha * 65535.0 + 0.5) >> 8;
    };
    const uint32_t a = static_cast<uint32_t>(alpha * 65535.0 + 0.5) >> 8;
    return (a << 24) | (channel(color.redF()) << 16) | (channel(color.greenF()) << 8) | channel(color.blueF());
}

namespace {

// What is painted: a colour, a gradient, or coverage into a mask.
struct Paint
{
    QRgb color = 0xff000000u;
    const Shader *shader = nullptr;
    Mask *mask = nullptr;
};

bool fillEdges(const Target &target, const Edges &edges, const Paint &paint, bool evenOdd, Scratch &s)
{
    if (edges.overflow)
        return false;
    if (paint.mask)
        return Filler(target, *paint.mask, evenOdd, s).fill(edges);
    if (paint.shader)
        return Filler(target, *paint.shader, evenOdd, s).fill(edges);
    return Filler(target, paint.color, evenOdd, s).fill(edges);
}

bool fillInto(const Target &target, const KTNSVGPainterPath &path, const Paint &paint)
{
    const QRgb color = paint.color;
    Mask *mask = paint.mask;
    if (mask)
        mask->box = QRect();
    if (!validTarget(target) || (color >> 24) == 0 || path.elementCount() == 0
        || clearOfImage(path, target, 1))
        return true;
    if (!smallEnough(path, target, 1))
        return false;
    Scratch &s = scratch();
    Edges edges(target.height, s.edges);
    FillSink sink(edges, s.points);
    if (!Walker::walk(path, target.origin, nullptr, target, 1, s.flat, sink)) {
        // A coordinate that is not finite: nothing is drawn.
        s.trim();
        return true;
    }
    const bool drawn = fillEdges(target, edges, paint, path.fillRule() == Qt::OddEvenFill, s);
    s.trim();
    return drawn;
}

bool strokeInto(const Target &target, const KTNSVGPainterPath &path, const QList<int> *closedEnds,
                const StrokeStyle &style, const Paint &paint)
{
    const QRgb color = paint.color;
    Mask *mask = paint.mask;
    if (mask)
        mask->box = QRect();
    if (!validTarget(target) || (color >> 24) == 0 || path.elementCount() == 0 || !(style.width > 0)
        || !std::isfinite(style.width))
        return true;
    // How far a cap or join reaches from the line's centre.
    const double margin = style.width / 2 * std::max(style.miterLimit, 1.5) + 2;
    if (clearOfImage(path, target, margin))
        return true;
    // Mitres seldom reach as far as they may.
    if (!smallEnough(path, target, style.width / 2 + 1))
        return false;
    Scratch &s = scratch();
    Edges edges(target.height, s.edges);
    StrokeSink sink(edges, style, path, target, s);
    if (!Walker::walk(path, target.origin, closedEnds, target, margin, s.flat, sink)) {
        s.trim();
        return true;
    }
    const bool drawn = fillEdges(target, edges, paint, false, s);
    s.trim();
    return drawn;
}

} // namespace

bool fillPath(const Target &target, const KTNSVGPainterPath &path, QRgb color)
{
    return fillInto(target, path, {color, nullptr, nullptr});
}

bool strokePath(const Target &target, const KTNSVGPainterPath &path, const QList<int> *closedEnds,
                const StrokeStyle &style, QRgb color)
{
    return strokeInto(target, path, closedEnds, style, {color, nullptr, nullptr});
}

bool fillPath(const Target &target, const KTNSVGPainterPath &path, const Gradient &gradient)
{
    if (gradient.stops.empty())
        return true;
    const Shader shader(gradient);
    return fillInto(target, path, {0xff000000u, &shader, nullptr});
}

bool strokePath(const Target &target, const KTNSVGPainterPath &path, const QList<int> *closedEnds,
                const StrokeStyle &style, const Gradient &gradient)
{
    if (gradient.stops.empty())
        return true;
    const Shader shader(gradient);
    return strokeInto(target, path, closedEnds, style, {0xff000000u, &shader, nullptr});
}

bool fillMask(const Target &target, const KTNSVGPainterPath &path, Mask &mask)
{
    return fillInto(target, path, {0xff000000u, nullptr, &mask});
}

bool strokeMask(const Target &target, const KTNSVGPainterPath &path, const QList<int> *closedEnds,
                const StrokeStyle &style, Mask &mask)
{
    return strokeInto(target, path, closedEnds, style, {0xff000000u, nullptr, &mask});
}

std::optional<Gradient> gradientOf(const QBrush &brush, double opacity)
{
    const QGradient *source = brush.gradient();
    if (!source || (brush.style() != Qt::LinearGradientPattern && brush.style() != Qt::RadialGradientPattern)
        || !brush.transform().isInvertible())
        return std::nullopt;
    Gradient g;
    if (brush.style() == Qt::LinearGradientPattern) {
        const auto *linear = static_cast<const QLinearGradient *>(source);
        g.x1 = linear->start().x();
        g.y1 = linear->start().y();
        g.x2 = linear->finalStop().x();
        g.y2 = linear->finalStop().y();
        if (g.x1 == g.x2 && g.y1 == g.y2)
            return std::nullopt;
    } else {
        const auto *radial = static_cast<const QRadialGradient *>(source);
        g.radial = true;
        g.x1 = radial->focalPoint().x();
        g.y1 = radial->focalPoint().y();
        g.r1 = radial->focalRadius();
        g.x2 = radial->center().x();
        g.y2 = radial->center().y();
        g.r2 = radial->centerRadius();
    }
    for (const double v : {g.x1, g.y1, g.x2, g.y2, g.r1, g.r2}) {
        if (!std::isfinite(v))
            return std::nullopt;
    }
    g.fromDevice = brush.transform().inverted();
    g.spread = source->spread() == QGradient::ReflectSpread ? 1 : source->spread() == QGradient::RepeatSpread ? 2 : 0;
    // Channels as cairo keeps a stop's colour (16 bits each, not
    // premultiplied), positions as its compositor keeps them (1/65536).
    const double alphaScale = std::isnan(opacity) ? 1.0 : std::clamp(opacity, 0.0, 1.0);
    auto sixteen = [](double v) { return std::floor(std::clamp(v, 0.0, 1.0) * 65535.0 + 0.5); };
    double last = 0;
    for (const QGradientStop &stop : source->stops()) {
        const QColor &c = stop.second;
        double offset = std::round(std::clamp(stop.first, 0.0, 1.0) * 65536.0) / 65536.0;
        offset = std::max(offset, last);
        last = offset;
        g.stops.push_back({offset, float(sixteen(c.alphaF() * alphaScale) / 257.0),
                           float(sixteen(c.redF()) / 65535.0), float(sixteen(c.greenF()) / 65535.0),
                           float(sixteen(c.blueF()) / 65535.0)});
    }
    if (g.stops.empty())
        return std::nullopt;
    return g;
}


void setEnabled(bool enabled)
{
    s_enabled.store(enabled, std::memory_order_relaxed);
}

bool enabled()
{
    return s_enabled.load(std::memory_order_relaxed);
}

} // namespace kalvo::svgscan
