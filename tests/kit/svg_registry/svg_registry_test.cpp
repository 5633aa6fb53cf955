// The registry is one object for the process: every test uses names of its
// own and unregisters the bundles it registered.
#include "../../theme/assets/asset_test_support.h"

#include <kalvo/platform/bundle.h>
#include <kalvo/svg/svgmgr.h>
#include <kalvo/theme/kalvoimage.h>

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

namespace {

class SvgRegistryTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override
    {
        for (const auto &bundle : m_registered)
            svg().unregisterBundle(bundle);
    }

    static KTNSVGMgr &svg() { return KTNSVGMgr::sharedMgr(); }

    // A bundle directory (inside this test's temporary directory) holding
    // `files` (name -> SVG text), registered with the registry.
    std::shared_ptr<Bundle> bundleWith(const QString &folder, const std::map<QString, QString> &files)
    {
        const QString root = m_dir.filePath(folder);
        for (const auto &[name, text] : files)
            EXPECT_TRUE(writeFile(root + u'/' + name, text));
        auto bundle = Bundle::fromDirectory(root);
        svg().registerBundle(bundle);
        m_registered.push_back(bundle);
        return bundle;
    }

    static QColor centreOf(const ImagePtr &image, bool dark = false)
    {
        const QSize size = image->size().toSize();
        return render(image, size, dark).pixelColor(size.width() / 2, size.height() / 2);
    }

    QTemporaryDir m_dir;
    std::vector<std::shared_ptr<Bundle>> m_registered;
};

TEST_F(SvgRegistryTest, ScaleInTheNameRendersLargerAndIsCachedUnderItsKey)
{
    bundleWith(QStringLiteral("a"), {{QStringLiteral("rg_scaled.svg"), squareSvg(QStringLiteral("#FF0000"))}});
    const ImagePtr image = svg().imageName(QStringLiteral("rg_scaled@2x"));
    EXPECT_EQ(image->size(), QSizeF(32, 32));
    EXPECT_EQ(svg().cachedImage(QStringLiteral("rg_scaled&s2.00&")), image);
    EXPECT_EQ(svg().imageName(QStringLiteral("rg_scaled@2x")), image);
    EXPECT_EQ(svg().imageName(QStringLiteral("rg_scaled"))->size(), QSizeF(16, 16));
    EXPECT_EQ(resourceSVGImage(QStringLiteral("rg_scaled@2x")), image) << "the string operations share the cache";
    EXPECT_EQ(resourceSvgImage(QStringLiteral("rg_scaled@2x")), image);
    EXPECT_TRUE(resourceSVGImage(QStringLiteral("rg_absent"))->isEmpty());
    EXPECT_EQ(centreOf(image), QColor(Qt::red));
    EXPECT_TRUE(svg().hasParsed(QStringLiteral("rg_scaled")));
    EXPECT_FALSE(svg().hasParsed(QString()));
}

TEST_F(SvgRegistryTest, DarkPartnerFileMakesALightDarkPair)
{
    bundleWith(QStringLiteral("a"), {{QStringLiteral("rg_pair.svg"), squareSvg(QStringLiteral("#FF0000"))},
                                     {QStringLiteral("rg_pair_dark.svg"), squareSvg(QStringLiteral("#0000FF"))}});
    const ImagePtr pair = svg().imageName(QStringLiteral("rg_pair"));
    ASSERT_NE(std::dynamic_pointer_cast<KalvoImage>(pair), nullptr);
    EXPECT_EQ(centreOf(pair), QColor(Qt::red));
    EXPECT_EQ(centreOf(pair, true), QColor(Qt::blue));

    const ImagePtr darkAlone = svg().imageName(QStringLiteral("rg_pair_dark"));
    EXPECT_EQ(std::dynamic_pointer_cast<KalvoImage>(darkAlone), nullptr);
    EXPECT_EQ(centreOf(darkAlone), QColor(Qt::blue));
}

TEST_F(SvgRegistryTest, TheBundleRegisteredLastWins)
{
    bundleWith(QStringLiteral("first"), {{QStringLiteral("rg_dup.svg"), squareSvg(QStringLiteral("#FF0000"))},
                                         {QStringLiteral("rg_only_first.svg"), squareSvg(QStringLiteral("#FF0000"))}});
    const auto second = bundleWith(QStringLiteral("second"), {{QStringLiteral("rg_dup.svg"), squareSvg(QStringLiteral("#00FF00"))},
                                                              {QStringLiteral("rg_later.svg"), squareSvg(QStringLiteral("#00FF00"))}});
    EXPECT_EQ(centreOf(svg().imageName(QStringLiteral("rg_dup"))), QColor(Qt::green));
    EXPECT_EQ(centreOf(svg().imageName(QStringLiteral("rg_only_first"))), QColor(Qt::red));

    const std::size_t count = svg().bundles().size();
    svg().registerBundle(second);
    svg().registerBundle(Bundle::fromDirectory(second->rootPath()));
    svg().registerBundle(nullptr);
    EXPECT_EQ(svg().bundles().size(), count) << "added once";

    svg().unregisterBundle(second);
    EXPECT_EQ(centreOf(svg().imageName(QStringLiteral("rg_dup"))), QColor(Qt::green)) << "parsed entries stay";
    EXPECT_TRUE(svg().imageName(QStringLiteral("rg_later"))->isEmpty()) << "later searches skip it";
}

TEST_F(SvgRegistryTest, VariantsDeclaredInAFileAreFoundThroughTheirPrefix)
{
    const QString icon = QStringLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 16 16\">"
        "<tarn style=\"hover\" value=\"|*#00FF00\"/><tarn style=\"big\" value=\"x2\"/>"
        "<rect x=\"0\" y=\"0\" width=\"16\" height=\"16\" fill=\"#FF0000\"/></svg>");
    bundleWith(QStringLiteral("a"), {{QStringLiteral("rg_call.svg"), icon}});

    const ImagePtr hover = svg().imageName(QStringLiteral("rg_call_hover"));
    EXPECT_EQ(centreOf(hover), QColor(Qt::green));
    const QStringList names = svg().imageNameArray();
    EXPECT_TRUE(names.contains(QStringLiteral("rg_call")));
    EXPECT_LT(names.indexOf(QStringLiteral("rg_call")), names.indexOf(QStringLiteral("rg_call_hover")));
    EXPECT_EQ(svg().entry(QStringLiteral("rg_call_hover"))->TNAttContent->attribute.value(QStringLiteral("style")),
              QStringLiteral("hover"));

    EXPECT_EQ(svg().imageName(QStringLiteral("rg_call_big"))->size(), QSizeF(32, 32));
    EXPECT_EQ(centreOf(svg().imageName(QStringLiteral("rg_call"))), QColor(Qt::red)) << "the file itself is unchanged";
    // The variant's registered tree is not recoloured.
    EXPECT_EQ(svg().svgElementForIdentifier(QStringLiteral("rg_call_hover"))->childElements.last().attribute.value(QStringLiteral("fill")),
              QStringLiteral("#FF0000"));
}

TEST_F(SvgRegistryTest, AVariantWithoutFillIsNotFilledByItsGroup)
{
    // The group fills red; the variant gives the square a stroke only, so
    // its inside must stay empty rather than take the group's fill.
    const QString icon = QStringLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 16 16\" fill=\"#FF0000\">"
        "<tarn style=\"outline\" value=\"||#0000FF\"/>"
        "<g><rect x=\"2\" y=\"2\" width=\"12\" height=\"12\"/></g></svg>");
    bundleWith(QStringLiteral("v"), {{QStringLiteral("rg_outline.svg"), icon}});

    EXPECT_EQ(centreOf(svg().imageName(QStringLiteral("rg_outline"))), QColor(Qt::red));
    EXPECT_EQ(centreOf(svg().imageName(QStringLiteral("rg_outline_outline"))).alpha(), 0);
}

TEST_F(SvgRegistryTest, VariantsOfAFileWithSeveralRootsTakeTheLastOne)
{
    // "files" is skipped, so its children become the file node's children;
    // each variant name is given to every one of them in turn and keeps the
    // last.
    const QString two = QStringLiteral(
        "<files><svg viewBox=\"0 0 8 8\"><rect width=\"8\" height=\"8\" fill=\"#FF0000\"/></svg>"
        "<svg viewBox=\"0 0 4 4\"><rect width=\"4\" height=\"4\" fill=\"#0000FF\"/></svg>"
        "<tarn style=\"a\" value=\"\"/><tarn style=\"b\" value=\"|:#00FF00\"/></files>");
    QByteArray hostile = "<files>";
    for (int i = 0; i < 4000; ++i)
        hostile += "<svg viewBox=\"0 0 4 4\"/>";
    for (int i = 0; i < 4000; ++i)
        hostile += "<tarn style=\"v" + QByteArray::number(i) + "\" value=\"*#00FF00\"/>";
    hostile += "</files>";
    bundleWith(QStringLiteral("a"), {{QStringLiteral("rg_roots.svg"), two},
                                     {QStringLiteral("rg_crowd.svg"), QString::fromLatin1(hostile)}});

    const ImagePtr a = svg().imageName(QStringLiteral("rg_roots_a"));
    EXPECT_EQ(a->size(), QSizeF(4, 4));
    EXPECT_EQ(centreOf(a), QColor(Qt::blue));
    EXPECT_EQ(centreOf(svg().imageName(QStringLiteral("rg_roots_b"))), QColor(Qt::green));
    const QStringList names = svg().imageNameArray();
    EXPECT_EQ(names.indexOf(QStringLiteral("rg_roots_a")) + 1, names.indexOf(QStringLiteral("rg_roots_b")));

    // Thousands of roots and thousands of declarations: one name each.
    svg().imageName(QStringLiteral("rg_crowd_v3999"));
    ASSERT_TRUE(svg().hasParsed(QStringLiteral("rg_crowd_v3999")));
    EXPECT_EQ(svg().entry(QStringLiteral("rg_crowd_v3999"))->TNAttContent->attribute.value(QStringLiteral("style")),
              QStringLiteral("v3999"));
    const qsizetype first = svg().imageNameArray().indexOf(QStringLiteral("rg_crowd_v0"));
    ASSERT_GE(first, 0);
    EXPECT_EQ(svg().imageNameArray().indexOf(QStringLiteral("rg_crowd_v3999")), first + 3999);
}

TEST_F(SvgRegistryTest, MissingNamesGiveAnEmptyUncachedImage)
{
    const ImagePtr missing = svg().imageName(QStringLiteral("rg_nowhere"));
    ASSERT_NE(missing, nullptr);
    EXPECT_TRUE(missing->isEmpty());
    EXPECT_EQ(svg().cachedImage(QStringLiteral("rg_nowhere&s1.00&")), nullptr);
    EXPECT_FALSE(svg().isImageExist(QStringLiteral("rg_nowhere")));
    EXPECT_TRUE(svg().imageName(QString())->isEmpty());
    EXPECT_TRUE(svg().imageName(QStringLiteral("@2x"))->isEmpty()) << "no name left once the scale is cut";
    EXPECT_FALSE(svg().svgElementForIdentifier(QStringLiteral("rg_nowhere")));
    EXPECT_EQ(svg().imageForIdentifier(QStringLiteral("rg_nowhere")), nullptr);

    bundleWith(QStringLiteral("a"), {{QStringLiteral("rg_huge.svg"), squareSvg(QStringLiteral("#FF0000"))}});
    EXPECT_TRUE(svg().imageName(QStringLiteral("rg_huge@1000x"))->isEmpty()) << "no gigantic bitmaps from a name";
    EXPECT_TRUE(svg().isImageExist(QStringLiteral("rg_huge")));
    EXPECT_EQ(svg().cachedImage(QStringLiteral("rg_huge&s1.00&")), nullptr) << "asking whether it exists caches nothing";
}

TEST_F(SvgRegistryTest, BadFilesRegisterWhatCouldBeReadAndNeverCrash)
{
    QByteArray deep = "<svg viewBox=\"0 0 4 4\">";
    for (int i = 0; i < 3000; ++i)
        deep += "<g>";
    bundleWith(QStringLiteral("a"),
               {{QStringLiteral("rg_cut.svg"),
                 QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 8 8\">"
                                "<rect width=\"8\" height=\"8\" fill=\"#0000FF\"/><rect <<")},
                {QStringLiteral("rg_deep.svg"), QString::fromLatin1(deep)},
                {QStringLiteral("rg_text.svg"), QStringLiteral("just text")}});
    // Written as bytes: a Latin-1 sign after the square, in a comment.
    ASSERT_TRUE(writeFile(m_dir.filePath(QStringLiteral("a/rg_latin1.svg")),
                          QByteArray("<svg viewBox=\"0 0 8 8\"><rect width=\"8\" height=\"8\" fill=\"#00FF00\"/>"
                                     "<!-- \xA9 2020 --></svg>")));
    EXPECT_EQ(centreOf(svg().imageName(QStringLiteral("rg_latin1"))), QColor(Qt::green)) << "drawn up to the bad byte";

    const ImagePtr cut = svg().imageName(QStringLiteral("rg_cut"));
    EXPECT_TRUE(svg().hasParsed(QStringLiteral("rg_cut")));
    EXPECT_EQ(centreOf(cut), QColor(Qt::blue)) << "the part before the error is drawn";
    svg().imageName(QStringLiteral("rg_deep"));
    EXPECT_TRUE(svg().hasParsed(QStringLiteral("rg_deep")));
    EXPECT_TRUE(svg().imageName(QStringLiteral("rg_text"))->isEmpty());
    EXPECT_TRUE(svg().hasParsed(QStringLiteral("rg_text"))) << "registered once, not reread on every request";
}

TEST_F(SvgRegistryTest, ExplicitParsingTakesOnlySvgFiles)
{
    const QString path = m_dir.filePath(QStringLiteral("rg_explicit.svg"));
    ASSERT_TRUE(writeFile(path, squareSvg(QStringLiteral("#FF0000"))));
    const QString other = m_dir.filePath(QStringLiteral("rg_other.xml"));
    ASSERT_TRUE(writeFile(other, squareSvg(QStringLiteral("#FF0000"))));

    svg().parserWithFileURL(QUrl::fromLocalFile(other));
    EXPECT_FALSE(svg().hasParsed(QStringLiteral("rg_other")));
    EXPECT_FALSE(svg().hasParsed(QStringLiteral("rg_other.xml")));

    svg().parserWithFileURL(QUrl::fromLocalFile(path)).parseFileURL(QUrl::fromLocalFile(path), QStringLiteral("rg/named"));
    EXPECT_TRUE(svg().hasParsed(QStringLiteral("rg_explicit")));
    EXPECT_TRUE(svg().hasParsed(QStringLiteral("rg/named")));
    EXPECT_EQ(centreOf(svg().imageName(QStringLiteral("rg/named"))), QColor(Qt::red));
}

TEST_F(SvgRegistryTest, LibraryIconsByIdentifier)
{
    const ImagePtr image = svg().imageForIdentifier(QStringLiteral("SVG/TestIcons/Circle"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSizeF(20, 20));
    EXPECT_EQ(svg().imageForIdentifier(QStringLiteral("SVG/TestIcons/Circle"), 2.0)->size(), QSizeF(40, 40));
    EXPECT_NE(svg().imageForIdentifier(QStringLiteral("SVG/TestIcons/Circle")), image) << "not cached";
    EXPECT_TRUE(svg().hasParsed(QStringLiteral("SVG/TestIcons/Circle")));

    const std::optional<KTNSvgElement> tree = svg().svgElementForIdentifier(QStringLiteral("SVG/TestIcons/Circle"));
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->childElements.size(), 1);
    EXPECT_EQ(tree->childElements.first().elementName, QStringLiteral("svg"));
    EXPECT_FALSE(svg().firstPathForIdentifier(QStringLiteral("SVG/TestIcons/Absent"), 1.0));
}

} // namespace
