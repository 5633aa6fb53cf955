// HTML snippets to styled text: Kalvo's snippet parser against
// QTextDocument::setHtml on the same text, in the same run.
//
// "Snippets" parses a fixed corpus of generated chat messages of about 200
// bytes (links, bold, italics, font sizes and colours, line breaks,
// entities, non-ASCII text), one message per iteration, round robin.
// "Large/N" parses one snippet of N bytes made of such messages (10 KB,
// 100 KB, 1 MB), to show that the time grows linearly with the input.
// Throughput is bytes_per_second (UTF-8 bytes of the input).
#include "bench_main.h"

#include <kalvo/html/htmlsnippet.h>

#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

using namespace kalvo;

namespace {

// A deterministic generator of chat messages.
class MessageGenerator
{
public:
    explicit MessageGenerator(unsigned seed) : m_random(seed) { }

    QString message(int targetBytes = 200)
    {
        QString out;
        int bytes = 0;
        while (bytes < targetBytes) {
            const QString piece = segment();
            bytes += int(piece.toUtf8().size());
            out += piece;
        }
        return out;
    }

private:
    int pick(int n) { return int(m_random() % unsigned(n)); }

    QString words(int count)
    {
        static const char16_t *const pool[]
            = {u"the", u"meeting", u"starts", u"at", u"noon", u"please", u"review", u"draft", u"thanks", u"see",
                u"notes", u"update", u"Grüße", u"Straße", u"über", u"café", u"naïve", u"привет", u"встреча", u"会议",
                u"明天", u"ありがとう", u"회의", u"🙂", u"🚀", u"ok", u"done", u"👍", u"agenda", u"link"};
        QString out;
        for (int i = 0; i < count; ++i) {
            if (i)
                out += u' ';
            out += QString::fromUtf16(pool[pick(int(std::size(pool)))]);
            if (pick(12) == 0)
                out += QStringLiteral(" &amp; ");
            else if (pick(20) == 0)
                out += QStringLiteral(" &lt;3 ");
            else if (pick(25) == 0)
                out += QStringLiteral(" &quot;quoted&quot;");
        }
        return out;
    }

    QString segment()
    {
        switch (pick(9)) {
        case 0:
            return QStringLiteral("<b>%1</b> ").arg(words(1 + pick(3)));
        case 1:
            return QStringLiteral("<i>%1</i> ").arg(words(1 + pick(3)));
        case 2:
            return QStringLiteral("<a href='https://chat.example.com/j/%1?pwd=%2&amp;from=msg'>%3</a> ")
                .arg(100000 + pick(900000))
                .arg(pick(1 << 20), 0, 16)
                .arg(words(1 + pick(2)));
        case 3: {
            // Servers colour text from a design palette, light and dark
            // pairs. (No ",alpha" suffix: QTextDocument would warn about
            // it on every parse, which is not the work being compared.)
            static const int sizes[] = {12, 13, 14, 16, 18, 20};
            static const char *const light[] = {"#E02D3C", "#0C63CE", "#1A7F37", "#9A6700", "#6E40C9", "#222222",
                "#57606A", "#D1242F", "#0969DA", "#BF3989", "#1F883D", "#FB8500"};
            static const char *const dark[] = {"#FF7B72", "#4F9AF7", "#3FB950", "#D29922", "#A371F7", "#F0F6FC",
                "#8B949E", "#FF8182", "#58A6FF", "#F778BA", "#56D364", "#FFB86B"};
            const int c = pick(12);
            return QStringLiteral("<font size=%1 color=%2 darkcolor=%3>%4</font> ")
                .arg(sizes[pick(6)])
                .arg(QLatin1String(light[c]), QLatin1String(dark[c]), words(1 + pick(3)));
        }
        case 4:
            return QStringLiteral("<br>");
        case 5:
            return QStringLiteral("<b><font size=14>%1</font></b> ").arg(words(1 + pick(2)));
        case 6:
            return QStringLiteral("<u>%1</u> ").arg(words(1 + pick(2)));
        default:
            return words(2 + pick(5)) + u' ';
        }
    }

    std::mt19937 m_random;
};

const std::vector<QString> &corpus()
{
    static const std::vector<QString> messages = [] {
        MessageGenerator generator(20261207);
        std::vector<QString> all;
        for (int i = 0; i < 1000; ++i)
            all.push_back(generator.message());
        return all;
    }();
    return messages;
}

qint64 corpusBytes()
{
    static const qint64 bytes = [] {
        qint64 total = 0;
        for (const QString &m : corpus())
            total += m.toUtf8().size();
        return total;
    }();
    return bytes;
}

// Messages joined until the snippet has `bytes` UTF-8 bytes or more.
const QString &largeSnippet(qint64 bytes)
{
    static std::map<qint64, QString> cache;
    auto it = cache.find(bytes);
    if (it != cache.end())
        return it->second;
    QString snippet;
    qint64 size = 0;
    for (std::size_t i = 0; size < bytes; ++i) {
        const QString &m = corpus()[i % corpus().size()];
        snippet += m;
        size += m.toUtf8().size();
    }
    return cache.emplace(bytes, snippet).first->second;
}

void reportSnippets(benchmark::State &state)
{
    const double perMessage = double(corpusBytes()) / double(corpus().size());
    state.SetBytesProcessed(qint64(double(state.iterations()) * perMessage));
    state.counters["bytes_per_message"] = perMessage;
}

void SnippetsKalvo(benchmark::State &state)
{
    const auto &messages = corpus();
    std::size_t i = 0;
    for (auto _ : state) {
        StyledText text = parseHTMLSnippet(messages[i]);
        benchmark::DoNotOptimize(text);
        i = (i + 1) % messages.size();
    }
    reportSnippets(state);
}

void SnippetsQtSetHtml(benchmark::State &state)
{
    const auto &messages = corpus();
    QTextDocument document;
    std::size_t i = 0;
    for (auto _ : state) {
        document.setHtml(messages[i]);
        benchmark::DoNotOptimize(document);
        i = (i + 1) % messages.size();
    }
    reportSnippets(state);
}

void LargeKalvo(benchmark::State &state)
{
    const QString &snippet = largeSnippet(state.range(0));
    for (auto _ : state) {
        StyledText text = parseHTMLSnippet(snippet);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(state.iterations() * snippet.toUtf8().size());
}

void LargeQtSetHtml(benchmark::State &state)
{
    const QString &snippet = largeSnippet(state.range(0));
    QTextDocument document;
    for (auto _ : state) {
        document.setHtml(snippet);
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(state.iterations() * snippet.toUtf8().size());
}

BENCHMARK(SnippetsKalvo)->Unit(benchmark::kMicrosecond);
BENCHMARK(SnippetsQtSetHtml)->Unit(benchmark::kMicrosecond);
BENCHMARK(LargeKalvo)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(LargeQtSetHtml)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

const bool registered = [] {
    kalvo::bench::compare("200-byte chat snippet vs QTextDocument::setHtml", "SnippetsKalvo", "SnippetsQtSetHtml");
    kalvo::bench::compare("10 KB snippet vs QTextDocument::setHtml", "LargeKalvo/10240", "LargeQtSetHtml/10240");
    kalvo::bench::compare("100 KB snippet vs QTextDocument::setHtml", "LargeKalvo/102400", "LargeQtSetHtml/102400");
    kalvo::bench::compare("1 MB snippet vs QTextDocument::setHtml", "LargeKalvo/1048576", "LargeQtSetHtml/1048576");
    return true;
}();

} // namespace
