// The quick XML reader gives exactly the tree Qt's reader gives, and hands
// every document it cannot read exactly back to it.
#include "kit/svg/engine/svg_prepare_p.h"
#include "kit/svg/xml_text_p.h"

#include <QDirIterator>
#include <QFile>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::svg;

namespace {

ReadResult slowTree(const QByteArray &bytes, const PrepareLimits &limits = PrepareLimits())
{
    QXmlStreamReader reader(bytes);
    return readTree(reader, limits);
}

// Quick read succeeded and agrees with Qt's reader (which reads it without
// error).
testing::AssertionResult readsAlike(const QByteArray &bytes, const PrepareLimits &limits = PrepareLimits())
{
    ReadResult fast;
    if (!readTreeFast(bytes, limits, fast))
        return testing::AssertionFailure() << "refused: " << bytes.left(200).toStdString();
    QXmlStreamReader reader(bytes);
    const ReadResult slow = readTree(reader, limits);
    if (reader.hasError())
        return testing::AssertionFailure() << "Qt's reader finds an error: " << reader.errorString().toStdString();
    if (fast.hasRoot != slow.hasRoot || fast.limitReached != slow.limitReached || !(fast.root == slow.root))
        return testing::AssertionFailure() << "trees differ for " << bytes.left(200).toStdString();
    return testing::AssertionSuccess();
}

bool refused(const QByteArray &bytes)
{
    ReadResult fast;
    fast.root.elementName = QStringLiteral("untouched");
    const bool read = readTreeFast(bytes, PrepareLimits(), fast);
    EXPECT_EQ(fast.root.elementName, read ? fast.root.elementName : QStringLiteral("untouched"));
    return !read;
}

} // namespace

TEST(QuickXmlReader, AgreesWithQtOnEveryReferenceDocument)
{
    int read = 0;
    QDirIterator it(QStringLiteral(KALVO_SVG_CONFORMANCE_DIR), {QStringLiteral("*.svg")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ReadResult fast;
        if (!readTreeFast(bytes, PrepareLimits(), fast))
            continue; // Qt's reader takes it
        ++read;
        const ReadResult slow = slowTree(bytes);
        EXPECT_TRUE(fast.root == slow.root) << file.fileName().toStdString();
    }
    EXPECT_GT(read, 350) << "the quick reader reads nearly every plain document";
}

TEST(QuickXmlReader, EntitiesWhiteSpaceAndSections)
{
    EXPECT_TRUE(readsAlike(R"(<svg a="1 &lt; 2 &amp;&#x41;&#66;&quot;&apos;&gt;" b='x"y'/>)"));
    // Line ends and tabs in attribute values become spaces; character
    // references keep theirs.
    EXPECT_TRUE(readsAlike("<svg d=\"M0 0\r\nL1\t1\rZ&#10;\"/>"));
    EXPECT_TRUE(readsAlike("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c -->\n<svg><?pi x?></svg>\n"));
    EXPECT_TRUE(readsAlike("<svg><style>a { fill: red }<![CDATA[ .b > c { stroke: &x; }\r\n ]]>&lt;</style>"
                           "<g>text &amp; more</g></svg>"));
    EXPECT_TRUE(readsAlike("<svg xmlns:svg=\"http://www.w3.org/2000/svg\"><svg:rect width=\"1\"/></svg>"));
    EXPECT_TRUE(readsAlike("<svg>\xE2\x82\xAC<text>\xF0\x9F\x98\x80</text></svg>"));
    EXPECT_TRUE(readsAlike("<svg ><g  id = \"a\" ></g ></svg >"));
    // A bare document type (as many theme icons begin) declares nothing.
    EXPECT_TRUE(readsAlike("<!DOCTYPE svg>\n<svg><rect/></svg>"));
    EXPECT_TRUE(readsAlike("<?xml version=\"1.0\"?>\n<!-- c --><!DOCTYPE  svg \n><svg/>"));
}

TEST(QuickXmlReader, LimitsSkipAsQtsReaderDoes)
{
    const QByteArray nested = "<svg><g><g><rect/></g><circle/></g><path/></svg>";
    EXPECT_TRUE(readsAlike(nested, PrepareLimits{2, 100}));
    EXPECT_TRUE(readsAlike(nested, PrepareLimits{256, 3}));
}

TEST(QuickXmlReader, HandsBackWhatItCannotReadExactly)
{
    EXPECT_TRUE(refused("<!DOCTYPE svg [<!ENTITY e \"<rect/>\">]><svg>&e;</svg>"));
    EXPECT_TRUE(refused("<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\"><svg/>"));
    EXPECT_TRUE(refused("<!DOCTYPE svg><!DOCTYPE svg><svg/>")) << "two document types";
    EXPECT_TRUE(refused("<svg><!DOCTYPE svg></svg>")) << "inside the root";
    EXPECT_TRUE(refused("<svg/><!DOCTYPE svg>")) << "after the root";
    EXPECT_TRUE(refused("<!DOCTYPEsvg><svg/>"));
    EXPECT_TRUE(refused("<!DOCTYPE svg"));
    EXPECT_TRUE(refused("<svg>&nbsp;</svg>"));
    EXPECT_TRUE(refused("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><svg/>"));
    EXPECT_TRUE(refused("<svg><g></svg>")) << "mismatched end";
    EXPECT_TRUE(refused("<svg>")) << "unclosed";
    EXPECT_TRUE(refused("<svg/><svg/>")) << "two roots";
    EXPECT_TRUE(refused("<svg a=\"1\" a=\"2\"/>")) << "repeated attribute";
    EXPECT_TRUE(refused("<svg a=\"<\"/>"));
    EXPECT_TRUE(refused("<svg a=1/>"));
    EXPECT_TRUE(refused("<svg><!-- a -- b --></svg>"));
    EXPECT_TRUE(refused("<svg>]]></svg>"));
    EXPECT_TRUE(refused("<svg>&#0;</svg>"));
    EXPECT_TRUE(refused("<svg>&#x110000;</svg>"));
    EXPECT_TRUE(refused(QByteArray("<svg>\x01</svg>")));
    EXPECT_TRUE(refused("x<svg/>")) << "text before the root";
    EXPECT_TRUE(refused("<svg/><?xml version=\"1.0\"?>"));
    EXPECT_TRUE(refused("<\xC3\xA9l\xC3\xA9ment/>")) << "names beyond ASCII";
    EXPECT_TRUE(refused(""));
    // Whatever it refuses, Qt's reader still gives its tree (or error).
    for (const char *text : {"<svg><g></svg>", "<svg><rect/>"})
        EXPECT_TRUE(slowTree(text).hasRoot);
}

TEST(QuickXmlReader, SpecialBytesAtEveryPositionOfAValue)
{
    // Values and text are scanned many bytes at a time (a short value in
    // one step, reading past it, where the document goes on): what must be
    // decoded or refused is found wherever it falls in such a block.
    for (const int length : {3, 9, 15, 40}) {
        const QByteArray filler(length, 'a');
        for (int at = 0; at <= filler.size(); ++at) {
            SCOPED_TRACE(length * 100 + at);
            auto withValue = [&](const QByteArray &insert) {
                QByteArray value = filler;
                value.insert(at, insert);
                return "<svg id=\"" + value + "\"><style>" + value + "</style></svg>";
            };
            auto lastValue = [&](const QByteArray &insert) {
                QByteArray value = filler;
                value.insert(at, insert);
                return "<svg id=\"" + value + "\"/>";
            };
            for (const char *insert : {"&amp;", "&#x41;", "\r\n", "\t", "\n", "'", "]]"}) {
                EXPECT_TRUE(readsAlike(withValue(insert))) << insert;
                EXPECT_TRUE(readsAlike(lastValue(insert))) << insert;
            }
            EXPECT_TRUE(refused(withValue("\x01")));
            EXPECT_TRUE(refused(withValue("\x1f")));
            QByteArray quoted = filler;
            quoted.insert(at, '<');
            EXPECT_TRUE(refused("<svg id=\"" + quoted + "\"/>"));
            QByteArray section = filler;
            section.insert(at, "]]>");
            EXPECT_TRUE(refused("<svg>" + section + "</svg>"));
        }
    }
}

TEST(ReadableXml, PrefixEndsAtTheFirstMalformedSequenceWhereverItFalls)
{
    // ASCII runs are passed over many bytes at a time; a sequence beyond
    // ASCII, good or bad, is judged wherever it falls in such a run.
    const QByteArray filler(40, 'a');
    for (int at = 0; at <= filler.size(); ++at) {
        SCOPED_TRACE(at);
        auto with = [&](const QByteArray &insert) {
            QByteArray bytes = filler;
            bytes.insert(at, insert);
            return bytes;
        };
        for (const char *good : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBF\xBF"}) {
            const QByteArray bytes = with(good);
            EXPECT_EQ(detail::validUtf8Prefix(bytes), bytes.size()) << good;
        }
        // A stray byte, a continuation without a lead, an overlong form, a
        // surrogate, a code point beyond U+10FFFF.
        for (const char *bad : {"\xFF", "\x80", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
            EXPECT_EQ(detail::validUtf8Prefix(with(bad)), at) << bad;
        // A sequence cut short by the end of the bytes.
        EXPECT_EQ(detail::validUtf8Prefix(filler.left(at) + "\xE2\x82"), at);
    }
}

TEST(XmlText, OtherEncodingsAreToldByByteOrderZerosOrDeclaration)
{
    using detail::declaresOtherEncoding;
    const auto bytes = [](const char *text, qsizetype size) { return QByteArray(text, size); };
    for (const QByteArray &other :
         {bytes("\xFE\xFF\0<", 4), bytes("\xFF\xFE<\0", 4), bytes("\0<\0s", 4), bytes("<\0s\0", 4),
          bytes("\0\0\0<", 4), QByteArray("<?xml version='1.0' encoding='ISO-8859-1'?><svg/>"),
          QByteArray("\xEF\xBB\xBF<?xml encoding=\"  latin1 \" ?><svg/>"),
          QByteArray("<?xml version=\"1.0\" encoding=\"utf-16\"?>")})
        EXPECT_TRUE(declaresOtherEncoding(other)) << other.toStdString();
    for (const QByteArray &utf8 :
         {QByteArray(), QByteArray("<"), QByteArray("<svg/>"), QByteArray("<?xml version=\"1.0\"?><svg/>"),
          QByteArray("<?xml version=\"1.0\" encoding=\" UTF-8 \"?><svg/>"), QByteArray("<?xml encoding='Utf8'?>"),
          // No quote after the name, or the name only after the declaration.
          QByteArray("<?xml encoding?><svg/>"), QByteArray("<?xml version=\"1.0\"?><svg encoding=\"latin1\"/>")})
        EXPECT_FALSE(declaresOtherEncoding(utf8)) << utf8.toStdString();
    // A declaration without its end is read within its first 256 bytes.
    EXPECT_TRUE(declaresOtherEncoding("<?xml encoding=\"latin1\"" + QByteArray(300, ' ')));
    EXPECT_FALSE(declaresOtherEncoding("<?xml" + QByteArray(260, ' ') + "encoding=\"latin1\"?>"));
    // An unclosed name runs to the end of what is read.
    EXPECT_TRUE(declaresOtherEncoding("<?xml encoding=\"latin1"));
    EXPECT_FALSE(declaresOtherEncoding("<?xml encoding=\"utf-8"));
}
