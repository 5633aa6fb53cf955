// Layout translations from the installed XKB data, without an X server.
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/keyboardlayoutmgr.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/notificationcenter.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <climits>
#include <thread>

using namespace kalvo;

namespace {

using Mgr = TNKeyboardLayoutMgr;

// A display that does not exist, so a manager falls back to the environment
// whatever DISPLAY says.
const QByteArray kNoDisplay = ":65000";

class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value) : m_name(name), m_had(qEnvironmentVariableIsSet(name))
    {
        m_old = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

TEST(KeyboardLayoutMgr, SupportedKeysAreTheCharacterKeys)
{
    const QList<int> codes = Mgr::supportConvertKeyCodeArray();
    ASSERT_EQ(codes.size(), 47);
    EXPECT_EQ(codes.first(), 0);
    EXPECT_EQ(codes.last(), 50);
    for (int excluded : {10, 36, 48, 49, 51, 53, 122})
        EXPECT_FALSE(codes.contains(excluded)) << excluded;
    EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
}

TEST(KeyboardLayoutMgr, TranslatesTheUSLayout)
{
    const QString us = kTNUSKeyboardLayoutID;
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::A, us), "A");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::K, us), "K");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::One, us), "1");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Slash, us), "/");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Grave, us), "`");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Keypad7, us), "7");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::F1, us), "");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Shift, us), "");

    // Symbols keep their case and follow the modifiers.
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::A, 0, us), "a");
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::A, CarbonModifier::shift, us), "A");
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::A, 0x400 /* caps lock */, us), "A");
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::One, CarbonModifier::shift, us), "!");
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::One, 0x2000 /* right shift */, us), "!");
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::One, CarbonModifier::command, us), "1");
    // Cached per modifier mask: the unshifted answer is not reused.
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::One, 0, us), "1");
    EXPECT_EQ(Mgr::p_letterForKeyCode(KeyCode::Quote, CarbonModifier::shift, us), "\"");

    const QHash<QString, int> map = Mgr::KeyboardLayoutWithID(us);
    EXPECT_EQ(map.size(), 47); // every character key types something of its own
    EXPECT_EQ(map.value("A", -1), KeyCode::A);
    EXPECT_EQ(map.value("`", -1), KeyCode::Grave);

    EXPECT_EQ(Mgr::keyCodeForSymbol("!", us), KeyCode::One);
    EXPECT_EQ(Mgr::keyCodeForSymbol("1", us), KeyCode::One);
    EXPECT_EQ(Mgr::keyCodeForSymbol("k", us), KeyCode::K);
    EXPECT_EQ(Mgr::keyCodeForSymbol("K", us), KeyCode::K);
    EXPECT_EQ(Mgr::keyCodeForSymbol(S("é"), us), 0);
}

TEST(KeyboardLayoutMgr, GermanSwapsYAndZAndHasDeadKeys)
{
    const QString de = "de";
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Y, de), "Z");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Z, de), "Y");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Semicolon, de), S("Ö"));
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Minus, de), S("SS")); // ß upper-cased
    // A letter shortcut keeps its letter: Z lives on the US Y key.
    EXPECT_EQ(Mgr::keyCodeForLetter("Z", KeyCode::Z, de), KeyCode::Y);
    EXPECT_EQ(Mgr::keyCodeForLetter("z", KeyCode::Z, de), KeyCode::Y);
    EXPECT_EQ(Mgr::keyCodeForLetter("A", KeyCode::A, de), KeyCode::A);

    // The key left of 1 is a dead circumflex: no text, and not in the map.
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Grave, de), "");
    EXPECT_FALSE(Mgr::KeyboardLayoutWithID(de).values().contains(KeyCode::Grave));
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Grave, "de(nodeadkeys)"), "^");

    // Option is the third-level key: AltGr+Q types @ on a German keyboard.
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::Q, CarbonModifier::option, de), "@");
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::Q, CarbonModifier::option, kTNUSKeyboardLayoutID), "q");
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::Seven, CarbonModifier::shift, de), "/");
    EXPECT_EQ(Mgr::keyCodeForSymbol("/", de), KeyCode::Seven);
}

TEST(KeyboardLayoutMgr, FrenchIsAzerty)
{
    const QString fr = "fr";
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Q, fr), "A");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::A, fr), "Q");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::W, fr), "Z");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Z, fr), "W");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Semicolon, fr), "M");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::M, fr), ",");
    // Digits are shifted on the top row.
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::One, fr), "&");
    EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::One, CarbonModifier::shift, fr), "1");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Two, fr), S("É"));

    const QHash<QString, int> map = Mgr::KeyboardLayoutWithID(fr);
    EXPECT_EQ(map.value("A", -1), KeyCode::Q);
    EXPECT_EQ(map.value("M", -1), KeyCode::Semicolon);
    EXPECT_EQ(Mgr::keyCodeForLetter("a", KeyCode::A, fr), KeyCode::Q);
    EXPECT_EQ(Mgr::keyCodeForLetter("M", KeyCode::M, fr), KeyCode::Semicolon);
    EXPECT_EQ(Mgr::keyCodeForSymbol("1", fr), KeyCode::One);
    EXPECT_EQ(Mgr::keyCodeForSymbol("&", fr), KeyCode::One);
    // A letter the layout lacks keeps the stored key.
    EXPECT_EQ(Mgr::keyCodeForLetter(S("ß"), KeyCode::S, fr), KeyCode::S);
}

TEST(KeyboardLayoutMgr, UnknownLayoutsTranslateNothing)
{
    for (const QString &layout : {QString(), QString("xx"), QString("de(nosuchvariant)"), QString("us,de"),
                                  QString("../../../etc/passwd"), QString("us+inet(evdev)"), QString("de()"),
                                  QString(200, QLatin1Char('a'))}) {
        SCOPED_TRACE(layout.toStdString());
        EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::A, layout), "");
        EXPECT_EQ(Mgr::symbolForKeyCode(KeyCode::A, CarbonModifier::shift, layout), "");
        EXPECT_EQ(Mgr::p_letterForKeyCode(KeyCode::A, 0, layout), "");
        EXPECT_TRUE(Mgr::KeyboardLayoutWithID(layout).isEmpty());
        EXPECT_EQ(Mgr::keyCodeForLetter("A", KeyCode::Q, layout), KeyCode::Q);
        EXPECT_EQ(Mgr::keyCodeForSymbol("a", layout), 0);
    }
    // Asking again gives the same answer (the failure is remembered, and
    // many different names do not break the lookups of real layouts).
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::A, QStringLiteral("zz%1").arg(i)), "");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::A, "xx"), "");
    EXPECT_EQ(Mgr::letterForKeyCode(KeyCode::Y, "de"), "Z");
}

TEST(KeyboardLayoutMgr, OutOfRangeKeyCodes)
{
    for (int code : {-1, -2, INT_MIN, 127, 128, 255, 256, 0xFFFF, 0x10000, INT_MAX}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Mgr::letterForKeyCode(code, "us"), "");
        EXPECT_EQ(Mgr::symbolForKeyCode(code, CarbonModifier::shift, "us"), "");
        EXPECT_EQ(Mgr::p_letterForKeyCode(code, 0, "fr"), "");
    }
    // Non-character alternates are returned as they are...
    EXPECT_EQ(Mgr::keyCodeForLetter("A", KeyCode::Space, "fr"), KeyCode::Space);
    EXPECT_EQ(Mgr::keyCodeForLetter("A", KeyCode::Return, "fr"), KeyCode::Return);
    EXPECT_EQ(Mgr::keyCodeForLetter("A", KeyCode::ISOSection, "fr"), KeyCode::ISOSection);
    EXPECT_EQ(Mgr::keyCodeForLetter("", KeyCode::Q, "fr"), KeyCode::Q);
    EXPECT_EQ(Mgr::keyCodeForLetter("A", 0xFFFF, "fr"), 0xFFFF);
    // ...but no code wraps onto a real key, and "no key" stays no key.
    EXPECT_EQ(Mgr::keyCodeForLetter("A", -1, "fr"), -1);
    EXPECT_EQ(Mgr::keyCodeForLetter("A", INT_MIN, "fr"), -1);
    EXPECT_EQ(Mgr::keyCodeForLetter("A", 0x10000, "fr"), -1);
    EXPECT_EQ(Mgr::keyCodeForLetter("A", INT_MAX, "fr"), -1);
}

TEST(KeyboardLayoutMgr, CurrentLayoutFromTheEnvironment)
{
    ScopedEnv variant("XKB_DEFAULT_VARIANT", QByteArray());
    {
        ScopedEnv layout("XKB_DEFAULT_LAYOUT", QByteArray());
        EXPECT_EQ(Mgr(kNoDisplay, false).currentKeyboardLayoutID(), "us");
    }
    {
        ScopedEnv layout("XKB_DEFAULT_LAYOUT", "fr");
        Mgr mgr(kNoDisplay, false);
        EXPECT_EQ(mgr.currentKeyboardLayoutID(), "fr");
        EXPECT_FALSE(mgr.isWatchingLayoutChanges());
    }
    {
        ScopedEnv layout("XKB_DEFAULT_LAYOUT", "de,us");
        ScopedEnv variants("XKB_DEFAULT_VARIANT", "nodeadkeys,");
        EXPECT_EQ(Mgr(kNoDisplay, false).getKeyboardLayoutID(), "de(nodeadkeys)");
    }
    {
        // A layout that cannot type Latin letters gives way to one that can.
        ScopedEnv layout("XKB_DEFAULT_LAYOUT", "ru,de");
        EXPECT_EQ(Mgr(kNoDisplay, false).getKeyboardLayoutID(), "de");
    }
    for (const QByteArray &unusable : {QByteArray("ru"), QByteArray("xx"), QByteArray("../x"), QByteArray(",,")}) {
        ScopedEnv layout("XKB_DEFAULT_LAYOUT", unusable);
        EXPECT_EQ(Mgr(kNoDisplay, false).getKeyboardLayoutID(), "us") << unusable.constData();
    }
}

TEST(KeyboardLayoutMgr, LayoutChangePostsWillThenDid)
{
    ScopedEnv variant("XKB_DEFAULT_VARIANT", QByteArray());
    ScopedEnv layout("XKB_DEFAULT_LAYOUT", "us");
    Mgr mgr(kNoDisplay, false);
    ASSERT_EQ(mgr.currentKeyboardLayoutID(), "us");

    QStringList seen;
    auto &center = NotificationCenter::defaultCenter();
    const ObserverId will = center.addObserver(nullptr, TNKeyBoardLayoutWillChanged, nullptr,
                                               [&](const Notification &n) {
                                                   EXPECT_EQ(n.object, nullptr);
                                                   seen << "will:" + mgr.currentKeyboardLayoutID();
                                               });
    const ObserverId did = center.addObserver(nullptr, TNKeyBoardLayoutDidChanged, nullptr,
                                              [&](const Notification &) {
                                                  seen << "did:" + mgr.currentKeyboardLayoutID();
                                              });

    mgr.keyboardLayoutInputSourceChanged(); // nothing changed
    EXPECT_TRUE(seen.isEmpty());

    qputenv("XKB_DEFAULT_LAYOUT", "de");
    mgr.keyboardLayoutInputSourceChanged();
    EXPECT_EQ(seen, QStringList({"will:us", "did:de"}));
    mgr.keyboardLayoutInputSourceChanged();
    EXPECT_EQ(seen.size(), 2);

    // From another thread the check hops to the main thread.
    qputenv("XKB_DEFAULT_LAYOUT", "fr");
    std::thread([&mgr] { mgr.keyboardLayoutInputSourceChanged(); }).join();
    EXPECT_EQ(seen.size(), 2);
    const QDeadlineTimer deadline(5000);
    while (seen.size() < 4 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(seen, QStringList({"will:us", "did:de", "will:de", "did:fr"}));

    center.removeObserver(will);
    center.removeObserver(did);
}

TEST(KeyboardLayoutMgr, InstalledAsTheModelsKeyTranslator)
{
    // Installed when the application object was made.
    EXPECT_EQ(translatedLetterForKeyCode(KeyCode::Y, "de"), "Z");
    EXPECT_EQ(translatedKeyCodeForLetter("A", KeyCode::A, "fr"), KeyCode::Q);
    EXPECT_EQ(currentKeyboardLayoutID(), Mgr::sharedMgr().currentKeyboardLayoutID());

    resetKeyTranslator();
    EXPECT_EQ(translatedLetterForKeyCode(KeyCode::Y, "de"), "");
    Mgr::installKeyTranslator();
    EXPECT_EQ(translatedLetterForKeyCode(KeyCode::Y, "de"), "Z");
}
