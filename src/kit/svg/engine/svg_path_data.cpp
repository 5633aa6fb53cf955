// The path-data interpreter: tokens of "d" (and polyline points) into an
// outline, with smooth curves reflected about ctrlPoint and elliptical arcs
// converted from end points to a centre.
#include <kalvo/svg/svgdrawables.h>

#include "svg_arc_p.h"
#include "svg_scanner_p.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kalvo {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegreesPerRadian = 57.29577951308232;
// Polyline numbers are printed with "%f"; beyond this they would only print
// long digit runs for points no image can show.
constexpr double kPolylineNumberLimit = 1e15;
// Command tokens (and polyline points) read from one attribute. Each is a
// string of its own, so a run of bare command letters would otherwise cost
// some fifty bytes per byte of input; no icon comes near this.
constexpr qsizetype kMaxCommands = qsizetype(1) << 18;

// Looked up per character of the path data, so a table.
struct CommandTable
{
    bool isCommand[128] = {};
    constexpr CommandTable()
    {
        for (char c : "MmLlCcVvHhAaSsQqTtZz#")
            if (c)
                isCommand[static_cast<unsigned char>(c)] = true;
    }
};
constexpr CommandTable kCommandTable;

inline bool isCommandCharacter(QChar c)
{
    return c.unicode() < 128 && kCommandTable.isCommand[c.unicode()];
}

// The first command character at or after `i` (n when there is none).
// Path data is mostly digits, spaces and punctuation, all below 'A': eight
// characters are ruled out at a time, and only letters and '#' are looked
// up.
inline qsizetype nextCommandCharacter(const QChar *chars, qsizetype i, qsizetype n)
{
#if defined(__SSE2__)
    const __m128i belowLetters = _mm_set1_epi16(0x40);
    const __m128i hash = _mm_set1_epi16('#');
    const __m128i zero = _mm_setzero_si128();
    while (i + 8 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chars + i));
        const __m128i plain = _mm_andnot_si128(_mm_cmpeq_epi16(v, hash), _mm_cmpeq_epi16(_mm_subs_epu16(v, belowLetters), zero));
        const unsigned candidates = ~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFu;
        if (candidates == 0) {
            i += 8;
            continue;
        }
        i += __builtin_ctz(candidates) / 2;
        if (isCommandCharacter(chars[i]))
            return i;
        ++i;
    }
#endif
    while (i < n && !isCommandCharacter(chars[i]))
        ++i;
    return i;
}

// QStringView::trimmed() without the call: tokens are short and many.
inline QStringView trimmedView(QStringView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from].isSpace())
        ++from;
    while (to > from && text[to - 1].isSpace())
        --to;
    return text.sliced(from, to - from);
}

double ratio(QPointF u, QPointF v)
{
    return (u.x() * v.x() + u.y() * v.y()) / (std::hypot(u.x(), u.y()) * std::hypot(v.x(), v.y()));
}

double angle(QPointF u, QPointF v)
{
    const double a = std::acos(ratio(u, v));
    return u.x() * v.y() < u.y() * v.x() ? -a : a;
}

struct ArcSegment
{
    QPointF radii;
    double rotation = 0; // degrees
    bool largeArc = false;
    bool sweep = false;
    QPointF end;
};

bool readArcSegment(svg::Scanner &scanner, ArcSegment &segment)
{
    return scanner.scanPoint(segment.radii) && scanner.scanNumber(segment.rotation)
        && scanner.scanBool(segment.largeArc) && scanner.scanBool(segment.sweep) && scanner.scanPoint(segment.end);
}

// One circle of the larger radius, squeezed into the ellipse by the
// frame: scale, rotate by phi, move to the centre.
QTransform arcFrame(QPointF center, double phi, double rx, double ry, double &radius)
{
    double sx = 1, sy = 1;
    if (rx > ry)
        sy = ry / rx;
    else
        sx = rx / ry;
    radius = std::max(rx, ry);
    return svg::ellipseFrame(center, phi, sx, sy);
}

// An arc that turns by at most half a turn in the direction asked (a
// rounded corner, a half circle) is one cubic per right angle, split
// evenly: its ends are the unit vectors `u` and `v` of the ellipse's
// circle, a split half way along is their bisector, and the control arms'
// length 4/3 tan(turn / 4) follows from a piece's cosine and sine without
// angles. `start` is the current point. Answers false, having added
// nothing, for any other arc.
bool appendShortArc(KTNSVGBezierPath &path, const ArcSegment &segment, QPointF start, QPointF center, double phi,
                    double rx, double ry, QPointF u, QPointF v)
{
    // The vectors lie on the unit circle but for rounding: within a hair
    // of it they are taken as they are (the conversion is one long chain
    // of steps, each waiting on the last, and a square root and a division
    // fewer shorten it), otherwise made unit.
    const double uu = u.x() * u.x() + u.y() * u.y();
    const double vv = v.x() * v.x() + v.y() * v.y();
    if (!(uu > 0) || !(vv > 0) || !std::isfinite(uu) || !std::isfinite(vv) || !std::isfinite(center.x())
        || !std::isfinite(center.y()))
        return false;
    constexpr double kUnitSlack = 1e-12;
    const QPointF a = std::abs(uu - 1) <= kUnitSlack ? u : u / std::sqrt(uu);
    const QPointF b = std::abs(vv - 1) <= kUnitSlack ? v : v / std::sqrt(vv);
    const double sine = a.x() * b.y() - a.y() * b.x();
    const double cosine = a.x() * b.x() + a.y() * b.y();
    // Positive turns go the way the sweep flag's 1 does; a half turn (no
    // sine) goes that way too.
    const bool quarter = cosine >= 0;
    if (quarter ? !(segment.sweep ? sine > 0 : sine < 0) : !(segment.sweep ? sine >= 0 : sine <= 0))
        return false;
    QPointF middle;
    if (!quarter) {
        const QPointF sum = a + b;
        const double length = std::sqrt(sum.x() * sum.x() + sum.y() * sum.y());
        if (length > 1e-6)
            middle = sum / length;
        else
            middle = segment.sweep ? QPointF(-a.y(), a.x()) : QPointF(a.y(), -a.x());
    }
    const QPointF pieceEnd = quarter ? b : middle;
    const double pieceSine = a.x() * pieceEnd.y() - a.y() * pieceEnd.x();
    const double pieceCosine = a.x() * pieceEnd.x() + a.y() * pieceEnd.y();
    // 4/3 tan(turn / 4) = 4/3 sin / ((1 + cos) + sqrt(2 (1 + cos))), with
    // one division (the turn is at most a right angle, so 1 + cos >= 1).
    const double k = 4.0 / 3.0 * (pieceSine / ((1 + pieceCosine) + std::sqrt(2 * (1 + pieceCosine))));
    double radius = 1;
    const QTransform frame = arcFrame(center, phi, rx, ry, radius);
    // The frame is affine: mapped as QTransform::map maps, without its
    // dispatch on the matrix's kind.
    const double m11 = frame.m11(), m12 = frame.m12(), m21 = frame.m21(), m22 = frame.m22();
    const double dx = frame.dx(), dy = frame.dy();
    auto map = [&](QPointF p) {
        p *= radius;
        return QPointF(m11 * p.x() + m21 * p.y() + dx, m12 * p.x() + m22 * p.y() + dy);
    };
    const QPointF first = map(a);
    if (!std::isfinite(first.x()) || !std::isfinite(first.y()))
        return false;
    if (path.isEmpty()) {
        if (!path.moveToPoint(first))
            return false;
    } else {
        const QPointF gap = first - start;
        // A join of a few ulps would give the stroker a direction of noise.
        if ((std::abs(gap.x()) > 1e-9 || std::abs(gap.y()) > 1e-9) && !path.lineToPoint(first))
            return false;
    }
    auto piece = [&](QPointF from, QPointF to) {
        const QPointF c1 = from + k * QPointF(-from.y(), from.x());
        const QPointF c2 = to - k * QPointF(-to.y(), to.x());
        return path.curveToPoint(map(to), map(c1), map(c2));
    };
    return quarter ? piece(a, b) : piece(a, middle) && piece(middle, b);
}

// Appends the arc from the current point to segment.end; false when the
// conversion has no answer (a zero radius, equal end points), which ends
// the command.
bool appendEllipticalArc(KTNSVGBezierPath &path, const ArcSegment &segment)
{
    const QPointF start = path.currentPoint();
    const QPointF end = segment.end;
    double rx = segment.radii.x();
    double ry = segment.radii.y();
    const double phi = segment.rotation * kPi / 180.0;
    // Most arcs are not rotated: sin(±0) is ±0 and cos(±0) is 1, without
    // the library calls.
    const double cosPhi = phi == 0 ? 1.0 : std::cos(phi);
    const double sinPhi = phi == 0 ? phi : std::sin(phi);

    const double dx2 = (start.x() - end.x()) / 2;
    const double dy2 = (start.y() - end.y()) / 2;
    const double x1p = cosPhi * dx2 + sinPhi * dy2;
    const double y1p = -sinPhi * dx2 + cosPhi * dy2;

    // Divisions by the radii are multiplications by their inverses: the
    // conversion is otherwise one long chain of divisions.
    double irx = 1 / rx, iry = 1 / ry;
    const double lambda = x1p * x1p * (irx * irx) + y1p * y1p * (iry * iry);
    if (lambda > 1) {
        const double grow = std::sqrt(lambda);
        rx *= grow;
        ry *= grow;
        irx = 1 / rx;
        iry = 1 / ry;
    }
    const double sign = segment.largeArc == segment.sweep ? -1.0 : 1.0;
    const double numerator = rx * rx * ry * ry - rx * rx * y1p * y1p - ry * ry * x1p * x1p;
    const double denominator = rx * rx * y1p * y1p + ry * ry * x1p * x1p;
    double factor = sign * std::sqrt(numerator / denominator);
    if (std::isnan(factor))
        factor = 0;
    const double cxp = factor * (rx * y1p * iry);
    const double cyp = factor * -(ry * x1p * irx);
    const QPointF center(cosPhi * cxp - sinPhi * cyp + (start.x() + end.x()) / 2,
                         sinPhi * cxp + cosPhi * cyp + (start.y() + end.y()) / 2);

    const QPointF u((x1p - cxp) * irx, (y1p - cyp) * iry);
    const QPointF v((-x1p - cxp) * irx, (-y1p - cyp) * iry);
    if (appendShortArc(path, segment, start, center, phi, rx, ry, u, v))
        return true;
    const double theta1 = angle(QPointF(1, 0), u);
    double delta = 0;
    const double r = ratio(u, v);
    if (r <= -1)
        delta = kPi;
    else if (r >= 1)
        delta = 0;
    else
        delta = u.x() * v.y() - u.y() * v.x() < 0 ? -std::acos(r) : std::acos(r);
    if (std::isnan(theta1) || std::isnan(delta) || std::isnan(r))
        return false;
    if (!std::isfinite(center.x()) || !std::isfinite(center.y()))
        return false;

    double radius = 1;
    const QTransform frame = arcFrame(center, phi, rx, ry, radius);
    const double startDegrees = theta1 * kDegreesPerRadian;
    const double endDegrees = (theta1 + delta) * kDegreesPerRadian;
    path.appendArc(QPointF(0, 0), radius, startDegrees, endDegrees, !segment.sweep, frame);
    return true;
}

} // namespace

QTransform svg::ellipseFrame(QPointF center, double phi, double sx, double sy)
{
    // Qt's steps: the rotation sets the four linear entries of the
    // translation; the scale then multiplies them as the kind Qt sees the
    // matrix as (its fuzzy test) says: all four for a rotation, the
    // diagonal for a scale, and it sets the diagonal of a translation.
    const double sinPhi = phi == 0 ? phi : std::sin(phi);
    const double cosPhi = phi == 0 ? 1.0 : std::cos(phi);
    double m11 = cosPhi, m12 = sinPhi, m21 = -sinPhi, m22 = cosPhi;
    if (sx != 1 || sy != 1) {
        if (!qFuzzyIsNull(m12) || !qFuzzyIsNull(m21)) {
            m11 *= sx;
            m12 *= sx;
            m21 *= sy;
            m22 *= sy;
        } else if (!qFuzzyIsNull(m11 - 1) || !qFuzzyIsNull(m22 - 1)) {
            m11 *= sx;
            m22 *= sy;
        } else {
            m11 = sx;
            m22 = sy;
        }
    }
    return QTransform(m11, m12, m21, m22, center.x(), center.y());
}

namespace {

// Calls `take` with each command token of `data` (a command letter and
// its arguments, trimmed); a trailing close gets a second "z" (a repeated
// close adds nothing). Stops after kMaxCommands tokens or when `take`
// answers false.
template <typename Take>
void forEachCommandToken(QStringView data, Take &&take)
{
    const QStringView text = trimmedView(data);
    const bool extraClose = text.endsWith(QLatin1Char('Z')) || text.endsWith(QLatin1Char('z'));
    static const QChar kClose[] = {QLatin1Char('z')};
    qsizetype count = 0;
    bool stopped = false;
    auto addToken = [&](qsizetype from, qsizetype to) {
        const QStringView token = to > text.size() ? QStringView(kClose, 1) : trimmedView(text.sliced(from, to - from));
        if (!token.isEmpty() && !token.startsWith(QLatin1Char('#'))) {
            ++count;
            stopped = !take(token);
        }
    };
    // Token boundaries: each command character, and the end when a close
    // ends the text (the extra close).
    const qsizetype n = text.size();
    const qsizetype size = n + (extraClose ? 1 : 0);
    const QChar *chars = text.data();
    qsizetype start = -1;
    for (qsizetype i = 0;; ++i) {
        i = nextCommandCharacter(chars, i, n);
        if (i >= size)
            break;
        if (count >= kMaxCommands || stopped)
            return;
        if (start >= 0)
            addToken(start, i);
        start = i;
    }
    if (start >= 0 && count < kMaxCommands && !stopped)
        addToken(start, size);
}

} // namespace

QStringList KTNTKSVGBaseElement::commandListForCommandString(const QString &data)
{
    QStringList tokens;
    forEachCommandToken(data, [&](QStringView token) {
        tokens.append(token.toString());
        return true;
    });
    return tokens;
}

QStringList KTNTKSVGBaseElement::commandListForPolylineString(const QString &points)
{
    svg::Scanner scanner(points);
    QStringList commands;
    while (!scanner.atEnd() && commands.size() < kMaxCommands) {
        double x = 0, y = 0;
        if (!scanner.scanFloatAndAdvance(x) || !scanner.scanFloatAndAdvance(y))
            break;
        x = std::clamp(x, -kPolylineNumberLimit, kPolylineNumberLimit);
        y = std::clamp(y, -kPolylineNumberLimit, kPolylineNumberLimit);
        commands.append(QString::asprintf("%c%f,%f", commands.isEmpty() ? 'M' : 'L', x, y));
    }
    return commands;
}

namespace {

// Where interpreting stands between two command tokens.
struct PathState
{
    KTNSVGBezierPath &path;
    QPointF &ctrlPoint;
    // The kind of the last segment: a smooth curve reflects the control
    // point only of a curve of its own kind ('c' cubic, 'q' quadratic).
    char lastCurve = 0;
    bool firstToken = true;
};

// Interprets one command token; false ends the path data.
bool interpretToken(QStringView token, PathState &state)
{
    KTNSVGBezierPath &path = state.path;
    QPointF &ctrlPoint = state.ctrlPoint;
    char &lastCurve = state.lastCurve;
    bool &firstToken = state.firstToken;
    auto full = [&] { return path.path.elementCount() >= path.elementLimit; };
    if (token.isEmpty() || full())
        return false;
    const QChar command = token[0];
    // Setting 0x20 lowers an ASCII letter; tokens from a caller's list may
    // start with anything, and nothing beyond ASCII is a command.
    const char kind = command.unicode() < 128 ? static_cast<char>(command.unicode() | 0x20) : 0;
    // Path data starts with a move; anything else is not drawn.
    if (firstToken && kind != 'm')
        return false;
    firstToken = false;
    if (kind == 's' ? lastCurve != 'c' : kind == 't' ? lastCurve != 'q' : false)
        ctrlPoint = QPointF();
    lastCurve = kind == 'c' || kind == 's' ? 'c' : kind == 'q' || kind == 't' ? 'q' : 0;
    const bool relative = command.unicode() >= 'a';
    svg::Scanner scanner(token.sliced(1));
    switch (kind) {
    case 'm': {
        bool first = true;
        while (!scanner.atEnd() && !full()) {
            QPointF p;
            if (!scanner.scanPoint(p)) {
                scanner.skipCharacter();
                continue;
            }
            if (first) {
                // "m" at the very start of a path is absolute.
                if (relative && !path.isEmpty())
                    p += path.currentPoint();
                path.moveToPoint(p);
                first = false;
            } else {
                if (relative)
                    p += path.currentPoint();
                path.lineToPoint(p);
            }
        }
        ctrlPoint = QPointF();
        break;
    }
    case 'l':
        while (!scanner.atEnd() && !full()) {
            QPointF p;
            if (!scanner.scanPoint(p)) {
                scanner.skipCharacter();
                continue;
            }
            if (relative)
                p += path.currentPoint();
            path.lineToPoint(p);
        }
        ctrlPoint = QPointF();
        break;
    case 'h':
    case 'v': {
        const bool horizontal = kind == 'h';
        scanner.scanThroughToNumber();
        while (!scanner.atEnd() && !full()) {
            double value = 0;
            if (!scanner.scanDouble(value)) {
                scanner.skipCharacter();
                continue;
            }
            QPointF p = path.currentPoint();
            if (horizontal)
                p.setX(relative ? p.x() + value : value);
            else
                p.setY(relative ? p.y() + value : value);
            path.lineToPoint(p);
        }
        ctrlPoint = QPointF();
        break;
    }
    case 'c':
        if (ctrlPoint.isNull())
            ctrlPoint = path.currentPoint();
        while (!scanner.atEnd() && !full()) {
            QPointF c1, c2, end;
            if (!(scanner.scanPoint(c1) && scanner.scanPoint(c2) && scanner.scanPoint(end))) {
                scanner.skipCharacter();
                continue;
            }
            if (relative) {
                const QPointF base = path.currentPoint();
                c1 += base;
                c2 += base;
                end += base;
            }
            path.curveToPoint(end, c1, c2);
            ctrlPoint = c2;
        }
        break;
    case 's':
        if (ctrlPoint.isNull() || lastCurve != 'c')
            ctrlPoint = path.currentPoint();
        while (!scanner.atEnd() && !full()) {
            QPointF c2, end;
            if (!(scanner.scanPoint(c2) && scanner.scanPoint(end))) {
                scanner.skipCharacter();
                continue;
            }
            const QPointF current = path.currentPoint();
            if (relative) {
                c2 += current;
                end += current;
            }
            const QPointF c1 = 2 * current - ctrlPoint;
            ctrlPoint = c2;
            path.curveToPoint(end, c1, c2);
        }
        break;
    case 'q':
        if (ctrlPoint.isNull())
            ctrlPoint = path.currentPoint();
        while (!scanner.atEnd() && !full()) {
            QPointF control, end;
            if (!(scanner.scanPoint(control) && scanner.scanPoint(end))) {
                scanner.skipCharacter();
                continue;
            }
            if (relative) {
                const QPointF current = path.currentPoint();
                control += current;
                end += current;
            }
            ctrlPoint = control;
            path.quadCurveToPoint(end, control);
        }
        break;
    case 't':
        if (ctrlPoint.isNull())
            ctrlPoint = path.currentPoint();
        while (!scanner.atEnd() && !full()) {
            QPointF end;
            if (!scanner.scanPoint(end)) {
                scanner.skipCharacter();
                continue;
            }
            const QPointF current = path.currentPoint();
            if (relative)
                end += current;
            const QPointF control = 2 * current - ctrlPoint;
            ctrlPoint = control;
            path.quadCurveToPoint(end, control);
        }
        break;
    case 'a':
        while (!scanner.atEnd() && !full()) {
            ArcSegment segment;
            if (!readArcSegment(scanner, segment))
                break;
            if (relative)
                segment.end += path.currentPoint();
            // Equal end points draw nothing; a zero radius draws a line.
            if (segment.end == path.currentPoint())
                continue;
            if (segment.radii.x() == 0 || segment.radii.y() == 0) {
                path.lineToPoint(segment.end);
                continue;
            }
            segment.radii = QPointF(std::abs(segment.radii.x()), std::abs(segment.radii.y()));
            if (!appendEllipticalArc(path, segment))
                break;
        }
        if (scanner.atEnd())
            ctrlPoint = QPointF();
        break;
    case 'z':
        path.closePath();
        break;
    default:
        break;
    }
    return true;
}

} // namespace

void KTNTKSVGBaseElement::bezierPathFromCommandList(const QStringList &commands, KTNSVGBezierPath &path)
{
    PathState state{path, ctrlPoint};
    for (const QString &token : commands) {
        if (!interpretToken(token, state))
            break;
    }
}

void KTNTKSVGBaseElement::bezierPathFromCommandString(QStringView data, KTNSVGBezierPath &path)
{
    PathState state{path, ctrlPoint};
    // About one element per four characters of path data; growing past a
    // low guess costs only the doubling it would have cost anyway. Short
    // data fits the room a new outline starts with.
    if (data.size() >= 128) {
        const qsizetype limit = std::min<qsizetype>(path.elementLimit, qsizetype(1) << 16);
        path.path.reserveSpace(static_cast<int>(std::min<qsizetype>(data.size() / 4 + 4, limit)));
    }
    forEachCommandToken(data, [&](QStringView token) { return interpretToken(token, state); });
}

} // namespace kalvo
