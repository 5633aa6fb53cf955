#include <kalvo/hotkey/hotkeycombo.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/platform/bundle.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/settings.h>

#include <QDataStream>
#include <QIODevice>
#include <QSet>
#include <QTemporaryDir>
#include <QVariantHash>

#include <gtest/gtest.h>

#include <unordered_set>

using namespace kalvo;

namespace {

constexpr quint32 kFn = 0x800000;

// ---- Modifier conventions ----

struct MaskCase
{
    quint32 input;
    quint32 carbon;
    quint32 flags;
};

class ModifierConversion : public testing::TestWithParam<MaskCase>
{
};

TEST_P(ModifierConversion, BothDirectionsDescribeTheSameSet)
{
    const MaskCase c = GetParam();
    EXPECT_EQ(TNHotkeyCombo::convertToEventRefModifier(c.input), c.carbon);
    EXPECT_EQ(TNHotkeyCombo::convertToNSEventModifier(c.input), c.flags);
    // Converting either result again lands on the same pair.
    EXPECT_EQ(TNHotkeyCombo::convertToEventRefModifier(c.flags), c.carbon);
    EXPECT_EQ(TNHotkeyCombo::convertToNSEventModifier(c.carbon), c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, ModifierConversion,
    testing::Values(MaskCase{0, 0, 0},
                    MaskCase{CarbonModifier::command | CarbonModifier::shift, 0x300, 0x120000},
                    // Mixed conventions: Carbon shift plus event-flag command.
                    MaskCase{CarbonModifier::shift | ModifierFlag::command, 0x300, 0x120000},
                    // The same modifier in both conventions counts once.
                    MaskCase{CarbonModifier::option | ModifierFlag::option, 0x800, 0x80000},
                    MaskCase{0x1F00, 0x1B00, 0x1E0000},
                    // Caps lock, numeric pad, help and device bits are dropped.
                    MaskCase{ModifierFlag::capsLock | ModifierFlag::numericPad | 0x400000 | 0x1 | 0x20 | 0x80, 0, 0},
                    // The function bit survives in both.
                    MaskCase{kFn | ModifierFlag::control, kFn | CarbonModifier::control, kFn | ModifierFlag::control},
                    MaskCase{0xFFFFFFFF, 0x801B00, 0x9E0000}));

TEST(TNHotkeyCombo, CorrectModifiersAddsTheFunctionBitOnlyToFunctionAndArrowKeys)
{
    const int functionKeys[] = {64, 79, 80, 90, 96, 97, 98, 99, 100, 101, 103, 105, 106, 107,
                                109, 111, 113, 118, 120, 122, 123, 124, 125, 126};
    for (int code : functionKeys) {
        const TNHotkeyCombo combo(code, 0);
        EXPECT_EQ(combo.eventRefModifiers(), kFn) << code;
        EXPECT_EQ(combo.nsEventModifiers(), kFn) << code;
    }
    // Help, Home, Page Up, Forward Delete, End, Page Down and ordinary keys do not get it.
    for (int code : {114, 115, 116, 117, 119, 121, 0, 36, 49, 53, 127, -1, 65535}) {
        const TNHotkeyCombo combo(code, ModifierFlag::command);
        EXPECT_EQ(combo.eventRefModifiers(), CarbonModifier::command) << code;
        EXPECT_EQ(combo.nsEventModifiers(), ModifierFlag::command) << code;
    }
}

TEST(TNHotkeyCombo, ConstructionAcceptsEitherConventionAndKeepsAGivenFunctionBit)
{
    const TNHotkeyCombo f1(KeyCode::F1, ModifierFlag::command | ModifierFlag::shift);
    EXPECT_EQ(f1.eventRefModifiers(), 0x800300u);
    EXPECT_EQ(f1.nsEventModifiers(), 0x920000u);

    // A function bit handed in for an ordinary key is carried, not invented.
    const TNHotkeyCombo fnA(KeyCode::A, kFn);
    EXPECT_EQ(fnA.eventRefModifiers(), kFn);
    EXPECT_EQ(fnA.nsEventModifiers(), kFn);

    // Re-correcting replaces the masks and re-adds the function bit.
    TNHotkeyCombo combo(KeyCode::F5, ModifierFlag::option);
    combo.correctModifiers(CarbonModifier::control);
    EXPECT_EQ(combo.eventRefModifiers(), kFn | CarbonModifier::control);
    EXPECT_EQ(combo.nsEventModifiers(), kFn | ModifierFlag::control);
}

// ---- Dictionary form ----

TEST(TNHotkeyComboValue, HasTwoEntriesOrThreeWhenInvalidAndRoundTrips)
{
    TNHotkeyCombo combo(KeyCode::K, CarbonModifier::command);
    QVariantMap value = combo.value();
    EXPECT_EQ(value.size(), 2);
    EXPECT_EQ(value.value(kTNHotkeyCodeKey).toInt(), 40);
    EXPECT_EQ(value.value(kTNHotkeyModifierKey).toUInt(), 0x100000u);
    EXPECT_EQ(TNHotkeyCombo::comboWithValue(value), combo);

    combo.setInvalid(true);
    value = combo.value();
    EXPECT_EQ(value.size(), 3);
    EXPECT_EQ(value.value(kTNHotkeyInvalidFlag), QVariant(true));
    const TNHotkeyCombo back = TNHotkeyCombo::comboWithValue(value);
    EXPECT_TRUE(back.isInvalid());
    EXPECT_EQ(back, combo);

    // The stored form is one the settings store accepts.
    EXPECT_TRUE(Settings::isPropertyListValue(value));
}

TEST(TNHotkeyComboValue, MissingEntriesTakeTheirDefaultsAndModifiersAreCorrected)
{
    TNHotkeyCombo combo = TNHotkeyCombo::comboWithValue(QVariantMap{});
    EXPECT_EQ(combo.hotkeyCode(), 0);
    EXPECT_EQ(combo.eventRefModifiers(), 0u);
    EXPECT_FALSE(combo.isInvalid());

    // Carbon-form modifiers and a function key in a stored dictionary.
    combo = TNHotkeyCombo::comboWithValue(QVariantMap{{kTNHotkeyCodeKey, 122}, {kTNHotkeyModifierKey, 0x100}});
    EXPECT_EQ(combo.nsEventModifiers(), 0x900000u);
    EXPECT_EQ(combo.eventRefModifiers(), 0x800100u);

    // A hash works as well as a map.
    combo = TNHotkeyCombo::comboWithValue(QVariantHash{{kTNHotkeyCodeKey, 1}, {kTNHotkeyModifierKey, 0x20000}});
    EXPECT_EQ(combo, TNHotkeyCombo(1, ModifierFlag::shift));
}

TEST(TNHotkeyComboValue, NonDictionariesGiveNoKeyAndKeepTheInvalidMark)
{
    for (const QVariant &v : {QVariant(), QVariant(QStringLiteral("⌘K")), QVariant(42),
                              QVariant(QVariantList{40, 0x100000}), QVariant(QByteArray("x"))}) {
        TNHotkeyCombo combo(KeyCode::K, ModifierFlag::command);
        combo.setValue(v);
        EXPECT_EQ(combo.hotkeyCode(), -1);
        EXPECT_EQ(combo.eventRefModifiers(), 0u);
        EXPECT_EQ(combo.nsEventModifiers(), 0u);
        EXPECT_TRUE(combo.isNullCombo());
    }
    TNHotkeyCombo marked(KeyCode::K, ModifierFlag::command);
    marked.setInvalid(true);
    marked.setValue(QStringLiteral("not a dictionary"));
    EXPECT_EQ(marked.hotkeyCode(), -1);
    EXPECT_TRUE(marked.isInvalid());
    EXPECT_FALSE(marked.isNullCombo());
}

struct ShapeCase
{
    const char *name;
    QVariant code;
    QVariant modifiers;
    QVariant invalid;
    int expectedCode;
    quint32 expectedFlags;
    bool expectedInvalid;
};

class TNHotkeyComboStoredShapes : public testing::TestWithParam<ShapeCase>
{
};

TEST_P(TNHotkeyComboStoredShapes, ReadWithTheDescribedFallbacks)
{
    const ShapeCase c = GetParam();
    QVariantMap map;
    if (c.code.isValid())
        map.insert(kTNHotkeyCodeKey, c.code);
    if (c.modifiers.isValid())
        map.insert(kTNHotkeyModifierKey, c.modifiers);
    if (c.invalid.isValid())
        map.insert(kTNHotkeyInvalidFlag, c.invalid);
    const TNHotkeyCombo combo = TNHotkeyCombo::comboWithValue(map);
    EXPECT_EQ(combo.hotkeyCode(), c.expectedCode);
    EXPECT_EQ(combo.nsEventModifiers(), c.expectedFlags);
    EXPECT_EQ(combo.isInvalid(), c.expectedInvalid);
    // Whatever was read prints without trouble.
    EXPECT_FALSE(combo.description().isEmpty());
    (void)combo.emojiSymbol();
    (void)combo.characterSymbol();
    (void)combo.keyCodeForCurrentKeyboardLayout();
}

const QVariant kNone;

INSTANTIATE_TEST_SUITE_P(
    Shapes, TNHotkeyComboStoredShapes,
    testing::Values(
        // Settings files keep scalars as text.
        ShapeCase{"NumericText", QStringLiteral("40"), QStringLiteral("1048576"), QStringLiteral("true"), 40,
                  0x100000, true},
        ShapeCase{"LongLongAndDouble", QVariant(qlonglong(12)), QVariant(double(0x40000)), kNone, 12, 0x40000, false},
        ShapeCase{"NegativeCodeIsKept", -5, 0, kNone, -5, 0, false},
        ShapeCase{"HugeCodeMeansNoKey", QVariant(qlonglong(1) << 40), 0x100000, kNone, -1, 0x100000, false},
        ShapeCase{"HugeDoubleCodeMeansNoKey", QVariant(1e300), 0, kNone, -1, 0, false},
        ShapeCase{"NaNCodeMeansNoKey", QVariant(std::numeric_limits<double>::quiet_NaN()), 0, kNone, -1, 0, false},
        ShapeCase{"FractionalCodeMeansNoKey", QVariant(12.5), 0, kNone, -1, 0, false},
        ShapeCase{"LargestCodeIsKept", QVariant(qlonglong(std::numeric_limits<qint32>::max())), 0, kNone,
                  std::numeric_limits<qint32>::max(), 0, false},
        ShapeCase{"ListCodeMeansNoKey", QVariant(QVariantList{1, 2}), 0x20000, kNone, -1, 0x20000, false},
        ShapeCase{"MapCodeMeansNoKey", QVariant(QVariantMap{{"a", 1}}), 0, kNone, -1, 0, false},
        ShapeCase{"WordsAreNoCode", QStringLiteral("K"), 0, kNone, -1, 0, false},
        ShapeCase{"NegativeModifiersAreNone", 0, -1, kNone, 0, 0, false},
        ShapeCase{"HugeModifiersAreNone", 0, QVariant(qlonglong(1) << 33), kNone, 0, 0, false},
        ShapeCase{"ListModifiersAreNone", 0, QVariant(QVariantList{0x100}), kNone, 0, 0, false},
        ShapeCase{"InvalidFlagAsNumber", 3, 0, 1, 3, 0, true},
        ShapeCase{"InvalidFlagNo", 3, 0, QStringLiteral("no"), 3, 0, false},
        ShapeCase{"InvalidFlagOfWrongType", 3, 0, QVariant(QVariantList{true}), 3, 0, false}),
    [](const testing::TestParamInfo<ShapeCase> &info) { return std::string(info.param.name); });

TEST(TNHotkeyComboValue, StoredCombinationIsSharedByBothScopes)
{
    Settings::setUseInMemoryStores(true);
    const auto store = Settings::suite(applicationIdentifier() + QStringLiteral(".Hotkey"));
    ASSERT_TRUE(store);
    EXPECT_FALSE(TNHotkeyCombo::hotkeyCombo(QString(), false).has_value());

    const TNHotkeyCombo combo(KeyCode::M, ModifierFlag::command | ModifierFlag::shift);
    store->setValue(QStringLiteral("[HK@combo]-mute"), combo.value());
    EXPECT_EQ(TNHotkeyCombo::hotkeyCombo(QStringLiteral("mute"), false), combo);
    EXPECT_EQ(TNHotkeyCombo::hotkeyCombo(QStringLiteral("mute"), true), combo);
    // Nothing stored, or something of the wrong kind: the null combination.
    EXPECT_TRUE(TNHotkeyCombo::hotkeyCombo(QStringLiteral("unknown"), false)->isNullCombo());
    store->setValue(QStringLiteral("[HK@combo]-broken"), QStringLiteral("garbage"));
    EXPECT_TRUE(TNHotkeyCombo::hotkeyCombo(QStringLiteral("broken"), true)->isNullCombo());
    Settings::setUseInMemoryStores(false);
}

TEST(TNHotkeyComboValue, SurvivesASettingsFileReload)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("hotkeys.ini"));
    TNHotkeyCombo invalid(KeyCode::F5, ModifierFlag::option);
    invalid.setInvalid(true);
    {
        const auto store = Settings::openFile(path);
        store->setValue(HKComboId(QStringLiteral("a")), TNHotkeyCombo(KeyCode::K, 0x300).value());
        store->setValue(HKComboId(QStringLiteral("b")), invalid.value());
        ASSERT_TRUE(store->synchronize());
    }
    const auto reread = Settings::openFile(path);
    EXPECT_EQ(TNHotkeyCombo::comboWithValue(reread->value(HKComboId(QStringLiteral("a")))),
              TNHotkeyCombo(KeyCode::K, 0x300));
    EXPECT_EQ(TNHotkeyCombo::comboWithValue(reread->value(HKComboId(QStringLiteral("b")))), invalid);
}

// ---- Archiving ----

std::vector<TNHotkeyCombo> archiveSamples()
{
    TNHotkeyCombo invalid(KeyCode::K, ModifierFlag::command);
    invalid.setInvalid(true);
    return {TNHotkeyCombo(), TNHotkeyCombo(KeyCode::A, 0x300), TNHotkeyCombo(KeyCode::F12, ModifierFlag::option),
            TNHotkeyCombo(KeyCode::UpArrow, 0), invalid, TNHotkeyCombo(-7, ModifierFlag::control),
            TNHotkeyCombo(std::numeric_limits<qint32>::max(), 0x1E0000)};
}

TEST(TNHotkeyComboArchive, EveryFormRoundTrips)
{
    for (const TNHotkeyCombo &combo : archiveSamples()) {
        const QVariantMap keyed = combo.archivedValue();
        EXPECT_EQ(keyed.value(QStringLiteral("hotKeyCode")).toInt(), combo.hotkeyCode());
        EXPECT_EQ(keyed.value(QStringLiteral("hotkeyModifiers")).toUInt(), combo.nsEventModifiers());
        EXPECT_EQ(keyed.value(QStringLiteral("hotkeyInvalidFlag")).toBool(), combo.isInvalid());

        EXPECT_EQ(TNHotkeyCombo::fromArchivedValue(keyed), combo);
        EXPECT_EQ(TNHotkeyCombo::fromPropertyListData(combo.propertyListData()), combo);
        EXPECT_EQ(TNHotkeyCombo::fromArchivedData(combo.archivedData()), combo);

        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << combo << combo;
        }
        QDataStream in(bytes);
        TNHotkeyCombo a, b;
        in >> a >> b;
        EXPECT_EQ(in.status(), QDataStream::Ok);
        EXPECT_EQ(a, combo);
        EXPECT_EQ(b, combo);
    }
}

TEST(TNHotkeyComboArchive, DecodingCorrectsTheModifiers)
{
    // An archive holding Carbon bits and lacking the function bit of F1.
    const auto combo = TNHotkeyCombo::fromArchivedValue(
        QVariantMap{{QStringLiteral("hotKeyCode"), 122}, {QStringLiteral("hotkeyModifiers"), 0x100 | 0x10000}});
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->nsEventModifiers(), 0x900000u);
    EXPECT_EQ(combo->eventRefModifiers(), 0x800100u);
    // Missing keys read as zero.
    EXPECT_EQ(TNHotkeyCombo::fromArchivedValue(QVariantMap{}), TNHotkeyCombo(0, 0));
}

TEST(TNHotkeyComboArchive, DamagedKeyedArchivesAreRefused)
{
    const QVariantMap bad[] = {
        {{QStringLiteral("hotKeyCode"), QStringLiteral("40")}},
        {{QStringLiteral("hotKeyCode"), QVariant(qlonglong(1) << 35)}},
        {{QStringLiteral("hotKeyCode"), 1.5}},
        {{QStringLiteral("hotkeyModifiers"), -1}},
        {{QStringLiteral("hotkeyModifiers"), QVariantList{}}},
        {{QStringLiteral("hotkeyInvalidFlag"), QStringLiteral("yes")}},
    };
    for (const QVariantMap &m : bad)
        EXPECT_FALSE(TNHotkeyCombo::fromArchivedValue(m).has_value()) << m.firstKey().toStdString();
    EXPECT_FALSE(TNHotkeyCombo::fromArchivedValue(QVariantList{1, 2}).has_value());
    EXPECT_FALSE(TNHotkeyCombo::fromArchivedValue(QVariant()).has_value());

    EXPECT_FALSE(TNHotkeyCombo::fromPropertyListData("").has_value());
    EXPECT_FALSE(TNHotkeyCombo::fromPropertyListData("<plist><dict><key>hotKeyCode</key></dict></plist>").has_value());
    EXPECT_FALSE(TNHotkeyCombo::fromPropertyListData("<plist><array><integer>1</integer></array></plist>").has_value());
    EXPECT_FALSE(
        TNHotkeyCombo::fromPropertyListData("<plist><dict><key>hotKeyCode</key><string>K</string></dict></plist>")
            .has_value());
    QByteArray cut = TNHotkeyCombo(KeyCode::A, 0).propertyListData();
    cut.chop(20);
    EXPECT_FALSE(TNHotkeyCombo::fromPropertyListData(cut).has_value());
}

TEST(TNHotkeyComboArchive, DamagedBinaryArchivesAreRefusedAndLeaveTheTargetAlone)
{
    const QByteArray good = TNHotkeyCombo(KeyCode::K, ModifierFlag::command).archivedData();
    // Every truncation, and trailing bytes.
    for (int n = 0; n < good.size(); ++n)
        EXPECT_FALSE(TNHotkeyCombo::fromArchivedData(good.left(n)).has_value()) << n;
    EXPECT_FALSE(TNHotkeyCombo::fromArchivedData(good + QByteArray(1, '\0')).has_value());
    // A foreign magic number or a future format version.
    QByteArray foreign = good;
    foreign[0] = 'X';
    EXPECT_FALSE(TNHotkeyCombo::fromArchivedData(foreign).has_value());
    QByteArray future = good;
    future[4] = char(2);
    EXPECT_FALSE(TNHotkeyCombo::fromArchivedData(future).has_value());

    const TNHotkeyCombo before(KeyCode::Z, ModifierFlag::control);
    TNHotkeyCombo target = before;
    QDataStream in(foreign);
    in >> target;
    EXPECT_EQ(in.status(), QDataStream::ReadCorruptData);
    EXPECT_EQ(target, before);
    QDataStream shortStream(good.left(7));
    shortStream >> target;
    EXPECT_NE(shortStream.status(), QDataStream::Ok);
    EXPECT_EQ(target, before);
}

// ---- Equality and hash ----

TEST(TNHotkeyComboEquality, ComparesCodeCarbonModifiersAndInvalidMark)
{
    const TNHotkeyCombo a(KeyCode::K, ModifierFlag::command | ModifierFlag::option);
    const TNHotkeyCombo b(KeyCode::K, CarbonModifier::command | CarbonModifier::option | ModifierFlag::capsLock);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(a.isEqual(&b));
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_EQ(qHash(a), qHash(b));

    TNHotkeyCombo invalid = a;
    invalid.setInvalid(true);
    EXPECT_NE(a, invalid);
    EXPECT_NE(a, TNHotkeyCombo(KeyCode::L, ModifierFlag::command | ModifierFlag::option));
    EXPECT_NE(a, TNHotkeyCombo(KeyCode::K, ModifierFlag::command));

    // Nothing compares as the null combination.
    EXPECT_TRUE(TNHotkeyCombo().isEqual(nullptr));
    EXPECT_FALSE(a.isEqual(nullptr));

    // Usable as a key of both kinds of hash set.
    QSet<TNHotkeyCombo> set{a, b, invalid, TNHotkeyCombo()};
    EXPECT_EQ(set.size(), 3);
    std::unordered_set<TNHotkeyCombo> stdSet{a, b, invalid};
    EXPECT_EQ(stdSet.size(), 2u);
}

} // namespace
