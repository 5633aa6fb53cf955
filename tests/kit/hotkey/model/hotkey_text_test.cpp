#include <kalvo/hotkey/hotkeycombo.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/hotkeytransformers.h>
#include <kalvo/platform/keycodes.h>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

// The layout service installs its translator when the application starts;
// these tests pin the built-in US table so they hold on any machine.
class USTableOnly : public testing::Environment
{
public:
    void SetUp() override { resetKeyTranslator(); }
};
testing::Environment *const usTableOnly = testing::AddGlobalTestEnvironment(new USTableOnly);

QString u(char16_t c)
{
    return QString(QChar(c));
}

// ---- Modifier glyphs and words ----

TEST(TNHotkeyModifyFlagsTransformer, GlyphsAndWordsInControlOptionShiftCommandOrder)
{
    struct Case
    {
        quint32 flags;
        QString glyphs;
        QString words;
    };
    const Case cases[] = {
        {0, QString(), QString()},
        {ModifierFlag::command, u(0x2318), QStringLiteral("Command")},
        {ModifierFlag::shift | ModifierFlag::control, u(0x2303) + u(0x21E7), QStringLiteral("Control+Shift")},
        {0x1E0000, u(0x2303) + u(0x2325) + u(0x21E7) + u(0x2318), QStringLiteral("Control+Option+Shift+Command")},
        {ModifierFlag::option | ModifierFlag::command, u(0x2325) + u(0x2318), QStringLiteral("Option+Command")},
        // Function, caps lock and Carbon bits show nothing.
        {0x800000 | ModifierFlag::capsLock | CarbonModifier::command, QString(), QString()},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TNHotkeyModifyFlagsTransformer::transformedValue(c.flags), c.glyphs) << c.flags;
        EXPECT_EQ(TNHotkeyModifyFlagsTransformer::emojiSymbol(c.flags), c.glyphs) << c.flags;
        EXPECT_EQ(TNHotkeyModifyFlagsTransformer::characterSymbol(c.flags), c.words) << c.flags;
    }
    // Text is not a number; a number outside 32 bits counts as no modifiers.
    EXPECT_FALSE(TNHotkeyModifyFlagsTransformer::transformedValue(QStringLiteral("1048576")).has_value());
    EXPECT_FALSE(TNHotkeyModifyFlagsTransformer::characterSymbol(QVariant()).has_value());
    EXPECT_EQ(TNHotkeyModifyFlagsTransformer::transformedValue(-1), QString());
    EXPECT_EQ(TNHotkeyModifyFlagsTransformer::transformedValue(QVariant(qlonglong(1) << 40)), QString());
}

TEST(TNHotkeyComboText, EmojiAndCharacterSymbols)
{
    EXPECT_EQ(TNHotkeyCombo(40, ModifierFlag::command).emojiSymbol(), u(0x2318) + QStringLiteral("K"));
    EXPECT_EQ(TNHotkeyCombo(0, ModifierFlag::control | ModifierFlag::shift).characterSymbol(),
              QStringLiteral("Control+Shift+A"));
    EXPECT_EQ(TNHotkeyCombo(0, ModifierFlag::control | ModifierFlag::shift).emojiSymbol(),
              u(0x2303) + u(0x21E7) + QStringLiteral("A"));
    // Only one side present: no joining "+".
    EXPECT_EQ(TNHotkeyCombo(KeyCode::F5, 0).characterSymbol(), QStringLiteral("F5"));
    EXPECT_EQ(TNHotkeyCombo(-1, ModifierFlag::command).characterSymbol(), QStringLiteral("Command"));
    EXPECT_EQ(TNHotkeyCombo().characterSymbol(), QString());
    EXPECT_EQ(TNHotkeyCombo(KeyCode::Space, ModifierFlag::option).characterSymbol(), QStringLiteral("Option+Space"));
    EXPECT_EQ(TNHotkeyCombo(KeyCode::Return, ModifierFlag::command).hotkeyLetter(), u(0x21A9));
    EXPECT_EQ(TNHotkeyCombo(-5, 0).hotkeyLetter(), QString());
}

// ---- Key names ----

struct NameCase
{
    int code;
    QString name;
};

class TNBaseKeyCodeTransformerTable : public testing::TestWithParam<NameCase>
{
};

TEST_P(TNBaseKeyCodeTransformerTable, NamesKeysWithoutCharacters)
{
    EXPECT_EQ(TNUSKeyCodeTransformer::transformedValue(GetParam().code), GetParam().name);
    EXPECT_EQ(TNBaseKeyCodeTransformer::fixedKeyName(GetParam().code), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Fixed, TNBaseKeyCodeTransformerTable,
    testing::Values(NameCase{122, "F1"}, NameCase{120, "F2"}, NameCase{99, "F3"}, NameCase{118, "F4"},
                    NameCase{96, "F5"}, NameCase{97, "F6"}, NameCase{98, "F7"}, NameCase{100, "F8"},
                    NameCase{101, "F9"}, NameCase{109, "F10"}, NameCase{103, "F11"}, NameCase{111, "F12"},
                    NameCase{105, "F13"}, NameCase{107, "F14"}, NameCase{113, "F15"}, NameCase{106, "F16"},
                    NameCase{64, "F17"}, NameCase{79, "F18"}, NameCase{80, "F19"}, NameCase{90, "F20"},
                    NameCase{49, "Space"}, NameCase{51, u(0x232B)}, NameCase{117, u(0x2326)},
                    NameCase{71, u(0x2327)}, NameCase{123, u(0x2190)}, NameCase{124, u(0x2192)},
                    NameCase{126, u(0x2191)}, NameCase{125, u(0x2193)}, NameCase{119, u(0x2198)},
                    NameCase{115, u(0x2196)}, NameCase{53, u(0x238B)}, NameCase{121, u(0x21DF)},
                    NameCase{116, u(0x21DE)}, NameCase{36, u(0x21A9)}, NameCase{76, u(0x2305)},
                    NameCase{48, u(0x21E5)}, NameCase{114, QStringLiteral("?") + u(0x20DD)}));

TEST(TNBaseKeyCodeTransformer, CharacterKeysUseTheLayoutAndBadCodesGiveNothing)
{
    EXPECT_EQ(TNBaseKeyCodeTransformer::keyBoardLayoutID(), kTNUSKeyboardLayoutID);
    EXPECT_EQ(TNUSKeyCodeTransformer::transformedValue(0), QStringLiteral("A"));
    EXPECT_EQ(TNUSKeyCodeTransformer::transformedValue(40), QStringLiteral("K"));
    EXPECT_EQ(TNUSKeyCodeTransformer::transformedValue(18), QStringLiteral("1"));
    EXPECT_EQ(TNUSKeyCodeTransformer::transformedValue(42), QStringLiteral("\\"));
    EXPECT_EQ(TNUSKeyCodeTransformer::transformedValue(50), QStringLiteral("`"));
    EXPECT_EQ(TNUSKeyCodeTransformer::transformedValue(QVariant(40.0)), QStringLiteral("K"));
    // No character and no fixed name.
    for (const QVariant &v : {QVariant(10), QVariant(55), QVariant(127), QVariant(200), QVariant(-1),
                              QVariant(qlonglong(-1) << 40), QVariant(65536), QVariant(qlonglong(1) << 40),
                              QVariant(QStringLiteral("40")), QVariant(), QVariant(QVariantList{40}),
                              QVariant(40.5)})
        EXPECT_EQ(TNUSKeyCodeTransformer::transformedValue(v), QString()) << v.toString().toStdString();
    // A layout nothing knows translates nothing.
    EXPECT_EQ(TNBaseKeyCodeTransformer::transformedValue(0, QStringLiteral("xx")), QString());
    EXPECT_EQ(TNBaseKeyCodeTransformer::transformedValue(0, QString()), QString());
    EXPECT_EQ(TNBaseKeyCodeTransformer::transformedValue(122, QStringLiteral("xx")), QStringLiteral("F1"));
}

// ---- Menu key equivalents ----

TEST(TNKeyEquivalentTransformer, FunctionKeysSpaceLettersAndGlyphs)
{
    const int functionKeys[20] = {122, 120, 99, 118, 96, 97, 98, 100, 101, 109,
                                  103, 111, 105, 107, 113, 106, 64, 79, 80, 90};
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(functionKeys[i]), u(char16_t(0xF704 + i))) << i;
    EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(96), u(0xF708));
    EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(49), QStringLiteral(" "));
    EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(0), QStringLiteral("a"));
    EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(44), QStringLiteral("/"));
    EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(123), u(0x2190));
    EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(36), u(0x21A9));
    EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(-3), QString());
    EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(QStringLiteral("0")), QString());
    EXPECT_EQ(TNKeyEquivalentTransformer::transformedValue(QVariant()), QString());
}

TEST(TNKeyEquivalentTransformer, InstanceFormsReadCombinationDictionaries)
{
    TNKeyEquivalentTransformer keys;
    TNKeyEquivalentModifierMaskTransformer masks;
    TNHotkeyCombo combo(KeyCode::F5, ModifierFlag::command | ModifierFlag::shift);
    EXPECT_EQ(keys.transform(combo.value()), QVariant(u(0xF708)));
    EXPECT_EQ(masks.transform(combo.value()).toUInt(), 0x120000u);

    combo.setInvalid(true);
    EXPECT_EQ(keys.transform(combo.value()), QVariant(QString()));
    EXPECT_EQ(masks.transform(combo.value()).toUInt(), 0u);

    for (const QVariant &v : {QVariant(), QVariant(42), QVariant(QStringLiteral("K")), QVariant(QVariantList{1})}) {
        EXPECT_EQ(keys.transform(v), QVariant(QString()));
        EXPECT_EQ(masks.transform(v).toUInt(), 0u);
    }
    // A dictionary without a key code has no key equivalent.
    EXPECT_EQ(keys.transform(QVariantMap{{kTNHotkeyModifierKey, 0x100000}}), QVariant(QString()));
}

TEST(TNKeyEquivalentModifierMaskTransformer, ClearsOnlyTheFunctionBit)
{
    EXPECT_EQ(TNKeyEquivalentModifierMaskTransformer::transformedValue(0x920000), 0x120000u);
    EXPECT_EQ(TNKeyEquivalentModifierMaskTransformer::transformedValue(0x810000), 0x10000u);
    EXPECT_EQ(TNKeyEquivalentModifierMaskTransformer::transformedValue(QStringLiteral("1048576")), 0u);
    EXPECT_EQ(TNKeyEquivalentModifierMaskTransformer::transformedValue(-1), 0u);
    EXPECT_EQ(TNKeyEquivalentModifierMaskTransformer::transformedValue(QVariant()), 0u);
}

TEST(TNValueTransformer, RegistryFindsEveryTransformerByClassName)
{
    const auto keys = TNValueTransformer::valueTransformerForName(QStringLiteral("TNKeyEquivalentTransformer"));
    const auto masks =
        TNValueTransformer::valueTransformerForName(QStringLiteral("TNKeyEquivalentModifierMaskTransformer"));
    ASSERT_TRUE(keys && masks);
    const QVariantMap value = TNHotkeyCombo(KeyCode::A, ModifierFlag::command).value();
    EXPECT_EQ(keys->transform(value).toString(), QStringLiteral("a"));
    EXPECT_EQ(masks->transform(value).toUInt(), 0x100000u);

    const auto glyphs = TNValueTransformer::valueTransformerForName(QStringLiteral("TNHotkeyModifyFlagsTransformer"));
    ASSERT_TRUE(glyphs);
    EXPECT_EQ(glyphs->transform(0x100000).toString(), u(0x2318));
    EXPECT_FALSE(glyphs->transform(QStringLiteral("x")).isValid());
    for (const char *name : {"TNBaseKeyCodeTransformer", "TNUSKeyCodeTransformer", "TNASCIIKeyCodeTransformer"}) {
        const auto t = TNValueTransformer::valueTransformerForName(QString::fromLatin1(name));
        ASSERT_TRUE(t) << name;
        EXPECT_EQ(t->transform(40).toString(), QStringLiteral("K")) << name;
    }
    EXPECT_FALSE(TNValueTransformer::valueTransformerForName(QStringLiteral("Unknown")));

    TNValueTransformer::setValueTransformer(std::make_shared<TNUSKeyCodeTransformer>(), QStringLiteral("Mine"));
    EXPECT_TRUE(TNValueTransformer::valueTransformerForName(QStringLiteral("Mine")));
    TNValueTransformer::setValueTransformer(nullptr, QStringLiteral("Mine"));
    EXPECT_FALSE(TNValueTransformer::valueTransformerForName(QStringLiteral("Mine")));
}

// ---- Stored names ----

TEST(HotkeyNames, FormatsOfStoredAndBoundNames)
{
    const QString id = QStringLiteral("mute %1");
    EXPECT_EQ(HKStateId(id), QStringLiteral("[HK@state]-mute %1"));
    EXPECT_EQ(gHKStateId(id), QStringLiteral("[gHK@state]-mute %1"));
    EXPECT_EQ(HKComboId(id), QStringLiteral("[HK@combo]-mute %1"));
    EXPECT_EQ(gHKComboId(id), QStringLiteral("[HK@combo]-mute %1"));
    EXPECT_EQ(stateBindName(id, true), QStringLiteral("[gHK@state]-mute %1"));
    EXPECT_EQ(stateBindName(id, false), QStringLiteral("[HK@state]-mute %1"));
    EXPECT_EQ(comboBindName(id, true), QStringLiteral("[gHK@combo]-mute %1"));
    EXPECT_EQ(comboBindName(id, false), QStringLiteral("[HK@combo]-mute %1"));
}

// ---- Keyboard layouts through the translator ----

// A German-like layout: Y and Z swap places.
class GermanLayout : public testing::Test
{
protected:
    void SetUp() override
    {
        TNKeyTranslator t;
        t.currentKeyboardLayoutID = [this] { return layout; };
        t.letterForKeyCode = [](int code, const QString &layoutID) {
            if (layoutID != QLatin1String("de"))
                return usLetterForKeyCode(code);
            if (code == KeyCode::Z)
                return QStringLiteral("Y");
            if (code == KeyCode::Y)
                return QStringLiteral("Z");
            return usLetterForKeyCode(code);
        };
        t.keyCodeForLetter = [](const QString &letter, int alternate, const QString &layoutID) {
            if (layoutID == QLatin1String("de") && !usLetterForKeyCode(alternate).isEmpty()) {
                if (letter.toUpper() == QLatin1String("Z"))
                    return int(KeyCode::Y);
                if (letter.toUpper() == QLatin1String("Y"))
                    return int(KeyCode::Z);
            }
            return usKeyCodeForLetter(letter, alternate);
        };
        setKeyTranslator(std::move(t));
    }
    void TearDown() override { resetKeyTranslator(); }

    QString layout = QStringLiteral("de");
};

TEST_F(GermanLayout, LetterShortcutsKeepTheirLetterAndOtherKeysTheirPlace)
{
    EXPECT_EQ(currentKeyboardLayoutID(), QStringLiteral("de"));
    EXPECT_EQ(TNASCIIKeyCodeTransformer::keyBoardLayoutID(), QStringLiteral("de"));
    EXPECT_EQ(TNASCIIKeyCodeTransformer::transformedValue(KeyCode::Z), QStringLiteral("Y"));
    // The US transformers keep printing US names.
    EXPECT_EQ(TNUSKeyCodeTransformer::transformedValue(KeyCode::Z), QStringLiteral("Z"));
    EXPECT_EQ(TNHotkeyCombo(KeyCode::Z, ModifierFlag::command).emojiSymbol(), u(0x2318) + QStringLiteral("Z"));

    EXPECT_EQ(TNHotkeyCombo(KeyCode::Z, ModifierFlag::command).keyCodeForCurrentKeyboardLayout(), KeyCode::Y);
    EXPECT_EQ(TNHotkeyCombo(KeyCode::A, ModifierFlag::command).keyCodeForCurrentKeyboardLayout(), KeyCode::A);
    EXPECT_EQ(TNHotkeyCombo(KeyCode::F1, 0).keyCodeForCurrentKeyboardLayout(), KeyCode::F1);
    EXPECT_EQ(TNHotkeyCombo(KeyCode::Space, 0).keyCodeForCurrentKeyboardLayout(), KeyCode::Space);

    // On the US layout the stored code is used as it is.
    layout = kTNUSKeyboardLayoutID;
    EXPECT_EQ(TNHotkeyCombo(KeyCode::Z, ModifierFlag::command).keyCodeForCurrentKeyboardLayout(), KeyCode::Z);
}

TEST(KeyTranslator, BuiltInUSTableAndFallbacks)
{
    resetKeyTranslator();
    EXPECT_EQ(currentKeyboardLayoutID(), kTNUSKeyboardLayoutID);
    EXPECT_EQ(usKeyCodeForLetter(QStringLiteral("z"), KeyCode::A), KeyCode::Z);
    EXPECT_EQ(usKeyCodeForLetter(QStringLiteral("/"), KeyCode::A), KeyCode::Slash);
    // Only character keys convert; unknown letters keep the alternate.
    EXPECT_EQ(usKeyCodeForLetter(QStringLiteral("Q"), KeyCode::Return), KeyCode::Return);
    EXPECT_EQ(usKeyCodeForLetter(QStringLiteral("é"), KeyCode::E), KeyCode::E);
    EXPECT_EQ(usKeyCodeForLetter(QString(), KeyCode::E), KeyCode::E);
    EXPECT_EQ(translatedKeyCodeForLetter(QStringLiteral("Z"), KeyCode::A, QStringLiteral("fr")), KeyCode::A);
    EXPECT_EQ(translatedLetterForKeyCode(KeyCode::A, QStringLiteral("fr")), QString());

    // A translator that installs only some functions keeps the table for the rest,
    // and an empty layout answer falls back to the US layout.
    TNKeyTranslator partial;
    partial.currentKeyboardLayoutID = [] { return QString(); };
    setKeyTranslator(std::move(partial));
    EXPECT_EQ(currentKeyboardLayoutID(), kTNUSKeyboardLayoutID);
    EXPECT_EQ(TNASCIIKeyCodeTransformer::transformedValue(KeyCode::Q), QStringLiteral("Q"));
    resetKeyTranslator();
}

} // namespace
