// The named-colour table read directly from its stored form must be the
// table the general property-list reader gives; any other form is left to
// that reader.
#include "theme/named_color_table_p.h"

#include <kalvo/platform/bundle.h>
#include <kalvo/platform/propertylist.h>

#include <QVariantMap>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

// What the general route makes of `bytes`.
QHash<QString, QString> generalTable(const QByteArray &bytes)
{
    QHash<QString, QString> table;
    const std::optional<QVariant> root = parsePropertyList(bytes);
    if (!root || root->metaType().id() != QMetaType::QVariantMap)
        return table;
    const QVariantMap map = root->toMap();
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (it.value().metaType().id() == QMetaType::QString)
            table.insert(it.key().toLower(), it.value().toString());
    }
    return table;
}

QByteArray plist(const char *entries, const char *head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")
{
    return QByteArray(head) + "<plist version=\"1.0\">\n<dict>\n" + entries + "</dict>\n</plist>\n";
}

TEST(NamedColorTable, StoredResourceReadsAsTheGeneralReaderReadsIt)
{
    const std::optional<QByteArray> bytes = Bundle::library()->readResource(QStringLiteral("TNSVGColors"),
                                                                            QStringLiteral("plist"));
    ASSERT_TRUE(bytes);
    const auto flat = detail::readFlatColorTable(*bytes);
    ASSERT_TRUE(flat) << "the stored table no longer has the flat form";
    EXPECT_GT(flat->size(), 140);
    EXPECT_EQ(*flat, generalTable(*bytes));
}

TEST(NamedColorTable, AcceptedVariantsMatchTheGeneralReader)
{
    for (const QByteArray &bytes :
         {plist("\t<key>red</key>\n\t<string>#FF0000</string>\n"), plist("<key>a1</key><string>x</string>", ""),
          plist("<key>red</key>\r\n<string>#f00</string>\r\n<key>blue</key> <string>#00F</string>"), plist("")}) {
        const auto flat = detail::readFlatColorTable(bytes);
        ASSERT_TRUE(flat) << bytes.constData();
        EXPECT_EQ(*flat, generalTable(bytes)) << bytes.constData();
    }
}

TEST(NamedColorTable, OtherFormsAreLeftToTheGeneralReader)
{
    // Upper-case or repeated names, text with spaces or entities,
    // comments, other value types, nesting, a broken or different end.
    for (const QByteArray &bytes :
         {plist("<key>Red</key><string>#FF0000</string>"),
          plist("<key>red</key><string>#FF0000</string><key>red</key><string>#00FF00</string>"),
          plist("<key>red</key><string> #FF0000</string>"), plist("<key>red</key><string>&#35;FF0000</string>"),
          plist("<!-- x --><key>red</key><string>#FF0000</string>"), plist("<key>red</key><integer>1</integer>"),
          plist("<key>red</key><dict></dict>"), plist("<key>red</key>"), plist("<key></key><string>#FF0000</string>"),
          plist("<key>red</key><string>#FF0000</string>", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>"),
          QByteArray("<plist version=\"1.0\"><dict><key>red</key><string>#FF0000</string></dict>"),
          plist("<key>red</key><string>#FF0000</string>") + "<x/>", QByteArray()}) {
        EXPECT_FALSE(detail::readFlatColorTable(bytes)) << bytes.constData();
    }
}

} // namespace
