#include <kalvo/platform/propertylist.h>

#include <QDateTime>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

TEST(PropertyList, ReadsEveryKindOfValue)
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>name</key><string>Zoë &amp; co</string>
  <key>count</key><integer>-42</integer>
  <key>ratio</key><real>0.5</real>
  <key>on</key><true/>
  <key>off</key><false/>
  <key>when</key><date>2026-12-06T10:30:00Z</date>
  <key>bytes</key><data>
    aGVs
    bG8=
  </data>
  <key>list</key><array><string>a</string><integer>1</integer><dict/></array>
</dict>
</plist>)";
    const std::optional<QVariant> root = parsePropertyList(xml);
    ASSERT_TRUE(root);
    const QVariantMap map = root->toMap();
    EXPECT_EQ(map.value("name").toString(), QStringLiteral("Zoë & co"));
    EXPECT_EQ(map.value("count").toLongLong(), -42);
    EXPECT_DOUBLE_EQ(map.value("ratio").toDouble(), 0.5);
    EXPECT_EQ(map.value("on"), QVariant(true));
    EXPECT_EQ(map.value("off"), QVariant(false));
    EXPECT_EQ(map.value("when").toDateTime(), QDateTime(QDate(2026, 12, 6), QTime(10, 30), Qt::UTC));
    EXPECT_EQ(map.value("bytes").toByteArray(), QByteArray("hello"));
    EXPECT_EQ(map.value("list").toList().size(), 3);
}

TEST(PropertyList, RejectsWhatIsNotAPropertyList)
{
    EXPECT_FALSE(parsePropertyList(""));
    EXPECT_FALSE(parsePropertyList("<html><body/></html>"));
    EXPECT_FALSE(parsePropertyList("<plist><dict><key>a</key></dict></plist>")) << "key without value";
    EXPECT_FALSE(parsePropertyList("<plist><dict><string>a</string></dict></plist>")) << "value without key";
    EXPECT_FALSE(parsePropertyList("<plist><integer>12x</integer></plist>"));
    EXPECT_FALSE(parsePropertyList("<plist><dict><key>a</key><string>b</string>")) << "unterminated";
    EXPECT_FALSE(parsePropertyList("<plist><blob/></plist>"));
    EXPECT_FALSE(parsePropertyList("<plist><data>!!!</data></plist>"));
    QByteArray deep = "<plist>";
    for (int i = 0; i < 200; ++i)
        deep += "<array>";
    for (int i = 0; i < 200; ++i)
        deep += "</array>";
    deep += "</plist>";
    EXPECT_FALSE(parsePropertyList(deep)) << "nesting is capped";
}

} // namespace
