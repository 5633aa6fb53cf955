#include <kalvo/platform/stringsfile.h>

#include <QStringEncoder>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

QByteArray utf16(const QString &text, QStringEncoder::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

TEST(StringsFile, ReadsEntriesCommentsAndEscapes)
{
    const StringsFileResult result = parseStringsFile(R"(
/* Menu items */
"Search" = "Suchen";           // trailing comment
"Path" = "C:\\Programme\\Kalvo";
"Quote" = "Er sagte \"Hallo\"";
"Lines" = "eins\nzwei\tdrei";
"Unicode" = "caf\U00E9 \u2318";
"Octal" = "\101\102";
Unquoted_Key.2 = bare-value;
"Same";
/* a comment * with stars */ "Multi
line" = "value
too";
)");
    EXPECT_EQ(result.skippedEntries, 0);
    EXPECT_EQ(result.entries.value("Search"), QStringLiteral("Suchen"));
    EXPECT_EQ(result.entries.value("Path"), QStringLiteral("C:\\Programme\\Kalvo"));
    EXPECT_EQ(result.entries.value("Quote"), QStringLiteral("Er sagte \"Hallo\""));
    EXPECT_EQ(result.entries.value("Lines"), QStringLiteral("eins\nzwei\tdrei"));
    EXPECT_EQ(result.entries.value("Unicode"), QStringLiteral("café ⌘"));
    EXPECT_EQ(result.entries.value("Octal"), QStringLiteral("AB"));
    EXPECT_EQ(result.entries.value("Unquoted_Key.2"), QStringLiteral("bare-value"));
    EXPECT_EQ(result.entries.value("Same"), QStringLiteral("Same"));
    EXPECT_EQ(result.entries.value("Multi\nline"), QStringLiteral("value\ntoo"));
}

TEST(StringsFile, MalformedEntriesAreSkippedAndTheRestKept)
{
    const StringsFileResult result = parseStringsFile(R"(
"good1" = "one";
"missing semicolon" = "x"
"good2" = "two";
= "no key";
"good3" = ;
"stray " quote" = "y";
"good4" = "four";
"duplicate" = "first";
"duplicate" = "last";
)");
    EXPECT_EQ(result.entries.value("good1"), QStringLiteral("one"));
    EXPECT_EQ(result.entries.value("good4"), QStringLiteral("four"));
    EXPECT_EQ(result.entries.value("duplicate"), QStringLiteral("last"));
    EXPECT_GE(result.skippedEntries, 3);
    EXPECT_FALSE(result.entries.contains(QStringLiteral("good3")));
}

TEST(StringsFile, Encodings)
{
    const QString text = QStringLiteral("\"Hello\" = \"Grüß dich\";");
    for (auto encoding : {QStringEncoder::Utf16LE, QStringEncoder::Utf16BE, QStringEncoder::Utf8}) {
        const StringsFileResult result = parseStringsFile(utf16(text, encoding));
        EXPECT_EQ(result.entries.value("Hello"), QStringLiteral("Grüß dich")) << int(encoding);
    }
    QStringEncoder noBom(QStringEncoder::Utf16LE);
    EXPECT_EQ(parseStringsFile(noBom.encode(text)).entries.value("Hello"), QStringLiteral("Grüß dich"));
    // Bad UTF-8 spoils one value, not the file.
    const StringsFileResult bad = parseStringsFile("\"a\" = \"\xff\xfe\";\n\"b\" = \"ok\";");
    EXPECT_EQ(bad.entries.value("b"), QStringLiteral("ok"));
    EXPECT_TRUE(bad.entries.contains(QStringLiteral("a")));
}

TEST(StringsFile, DegenerateInput)
{
    EXPECT_TRUE(parseStringsFile("").entries.isEmpty());
    EXPECT_TRUE(parseStringsFile("/* never closed").entries.isEmpty());
    EXPECT_TRUE(parseStringsFile("\"never closed").entries.isEmpty());
    EXPECT_TRUE(parseStringsFile(QByteArray(100, '\0')).entries.isEmpty());
    EXPECT_EQ(parseStringsFile("\"k\" = \"\\U\";").entries.size(), 0);
    QByteArray many;
    for (int i = 0; i < 20000; ++i)
        many += "\"k" + QByteArray::number(i) + "\" = \"v\";\n";
    EXPECT_EQ(parseStringsFile(many).entries.size(), 20000);
}

} // namespace
