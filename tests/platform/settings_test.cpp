#include <kalvo/platform/bundle.h>
#include <kalvo/platform/manualclock.h>
#include <kalvo/platform/settings.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QPoint>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace kalvo;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class SettingsFiles : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Settings::setStorageDirectory(dir.path());
    }
    void TearDown() override { Settings::setStorageDirectory(QString()); }

    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

// ---- Defaults and user values ----

TEST(Settings, UserValueOverridesRegisteredDefaultUntilRemoved)
{
    auto s = Settings::inMemory();
    s->registerDefaults({{QStringLiteral("volume"), 50}});
    EXPECT_EQ(s->integer(QStringLiteral("volume")), 50);
    EXPECT_FALSE(s->hasUserValue(QStringLiteral("volume")));
    ASSERT_TRUE(s->setValue(QStringLiteral("volume"), 80));
    EXPECT_EQ(s->integer(QStringLiteral("volume")), 80);
    s->registerDefaults({{QStringLiteral("volume"), 60}});
    EXPECT_EQ(s->integer(QStringLiteral("volume")), 80) << "defaults never beat the user's value";
    s->remove(QStringLiteral("volume"));
    EXPECT_EQ(s->integer(QStringLiteral("volume")), 60);
    EXPECT_FALSE(s->value(QStringLiteral("missing")).isValid());
    EXPECT_EQ(s->dictionaryRepresentation().value(QStringLiteral("volume")).toInt(), 60);
}

TEST(Settings, RefusesEmptyKeysAndNonPropertyListValues)
{
    auto s = Settings::inMemory();
    EXPECT_FALSE(s->setValue(QString(), 1));
    EXPECT_FALSE(s->setValue(QStringLiteral("point"), QPoint(1, 2)));
    EXPECT_FALSE(s->setValue(QStringLiteral("nested"), QVariantMap{{QStringLiteral("p"), QPoint()}}));
    EXPECT_TRUE(s->setValue(QStringLiteral("nested"), QVariantMap{{QStringLiteral("l"), QVariantList{1, QStringLiteral("x")}}}));
    EXPECT_TRUE(s->userKeys() == QStringList{QStringLiteral("nested")});
    EXPECT_TRUE(s->setValue(QStringLiteral("nested"), QVariant())); // invalid removes
    EXPECT_TRUE(s->userKeys().isEmpty());
}

TEST(Settings, TypedReadsConvertTextTheWayAnIniFileReturnsIt)
{
    auto s = Settings::inMemory();
    ASSERT_TRUE(s->setValue(QStringLiteral("int"), QStringLiteral("42")));
    ASSERT_TRUE(s->setValue(QStringLiteral("real"), QStringLiteral("0.25")));
    ASSERT_TRUE(s->setValue(QStringLiteral("yes"), QStringLiteral("YES")));
    ASSERT_TRUE(s->setValue(QStringLiteral("zero"), QStringLiteral("0")));
    ASSERT_TRUE(s->setValue(QStringLiteral("junk"), QStringLiteral("abc")));
    ASSERT_TRUE(s->setValue(QStringLiteral("number"), 7));
    ASSERT_TRUE(s->setValue(QStringLiteral("map"), QVariantMap{{QStringLiteral("k"), 1}}));
    ASSERT_TRUE(s->setValue(QStringLiteral("strings"), QVariantList{QStringLiteral("a"), QStringLiteral("b")}));
    ASSERT_TRUE(s->setValue(QStringLiteral("mixed"), QVariantList{QStringLiteral("a"), 1}));

    EXPECT_EQ(s->integer(QStringLiteral("int")), 42);
    EXPECT_DOUBLE_EQ(s->real(QStringLiteral("real")), 0.25);
    EXPECT_EQ(s->integer(QStringLiteral("real")), 0);
    EXPECT_TRUE(s->boolean(QStringLiteral("yes")));
    EXPECT_TRUE(s->boolean(QStringLiteral("int")));
    EXPECT_FALSE(s->boolean(QStringLiteral("zero")));
    EXPECT_FALSE(s->boolean(QStringLiteral("junk")));
    EXPECT_EQ(s->integer(QStringLiteral("junk")), 0);
    EXPECT_EQ(s->string(QStringLiteral("number")), QStringLiteral("7"));
    EXPECT_EQ(s->string(QStringLiteral("map")), std::nullopt);
    EXPECT_EQ(s->dictionary(QStringLiteral("number")), std::nullopt);
    ASSERT_TRUE(s->dictionary(QStringLiteral("map")));
    EXPECT_EQ(s->dictionary(QStringLiteral("map"))->value(QStringLiteral("k")).toInt(), 1);
    EXPECT_EQ(s->stringArray(QStringLiteral("strings")), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(s->stringArray(QStringLiteral("mixed")), std::nullopt);
    EXPECT_EQ(s->array(QStringLiteral("mixed"))->size(), 2);
    EXPECT_FALSE(s->boolean(QStringLiteral("map")));
}

// ---- Observation ----

TEST(Settings, ObserversHearChangesOfTheirKeyOnly)
{
    auto s = Settings::inMemory();
    std::vector<QVariant> seen;
    s->observe(QStringLiteral("theme"), nullptr, [&](const QString &key, const QVariant &v) {
        EXPECT_EQ(key, QStringLiteral("theme"));
        seen.push_back(v);
    });
    ASSERT_TRUE(s->setValue(QStringLiteral("theme"), QStringLiteral("rose")));
    ASSERT_TRUE(s->setValue(QStringLiteral("theme"), QStringLiteral("rose"))); // no change, no call
    ASSERT_TRUE(s->setValue(QStringLiteral("other"), 1));
    s->registerDefaults({{QStringLiteral("theme"), QStringLiteral("bloom")}}); // hidden by the user value
    s->remove(QStringLiteral("theme")); // falls back to the default
    s->remove(QStringLiteral("theme")); // nothing to remove
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].toString(), QStringLiteral("rose"));
    EXPECT_EQ(seen[1].toString(), QStringLiteral("bloom"));
}

TEST(Settings, RegisteringADefaultNotifiesWhenItIsTheEffectiveValue)
{
    auto s = Settings::inMemory();
    int calls = 0;
    s->observe(QStringLiteral("k"), nullptr, [&](const QString &, const QVariant &) { ++calls; });
    s->registerDefaults({{QStringLiteral("k"), 1}});
    s->registerDefaults({{QStringLiteral("k"), 1}});
    EXPECT_EQ(calls, 1);
}

TEST(Settings, BindDeliversTheCurrentValueAtOnceThenChanges)
{
    auto s = Settings::inMemory();
    s->registerDefaults({{QStringLiteral("k"), true}});
    std::vector<bool> seen;
    s->bind(QStringLiteral("k"), nullptr, [&](const QString &, const QVariant &v) { seen.push_back(v.toBool()); });
    ASSERT_TRUE(s->setValue(QStringLiteral("k"), false));
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST(Settings, ObserverOwnedByADestroyedObjectIsNotCalled)
{
    auto s = Settings::inMemory();
    int calls = 0;
    auto *owner = new QObject;
    s->observe(QStringLiteral("k"), owner, [&](const QString &, const QVariant &) { ++calls; });
    ASSERT_TRUE(s->setValue(QStringLiteral("k"), 1));
    delete owner;
    ASSERT_TRUE(s->setValue(QStringLiteral("k"), 2));
    EXPECT_EQ(calls, 1);
}

TEST(Settings, ObserverMayWriteToTheStoreFromItsCallback)
{
    auto s = Settings::inMemory();
    s->observe(QStringLiteral("a"), nullptr, [&](const QString &, const QVariant &v) {
        (void)s->setValue(QStringLiteral("b"), v.toInt() * 2);
    });
    ASSERT_TRUE(s->setValue(QStringLiteral("a"), 21));
    EXPECT_EQ(s->integer(QStringLiteral("b")), 42);
}

// ---- Files ----

TEST_F(SettingsFiles, ValuesSurviveReopeningTheFile)
{
    const QString file = path(QStringLiteral("prefs.ini"));
    const QDateTime when(QDate(2026, 12, 6), QTime(10, 30), Qt::UTC);
    const QVariantMap combo{{QStringLiteral("keyCode"), 0}, {QStringLiteral("modifiers"), 0x100000}};
    {
        auto s = Settings::openFile(file);
        ASSERT_TRUE(s->setValue(QStringLiteral("[HK@combo]-mute/all"), combo));
        ASSERT_TRUE(s->setValue(QStringLiteral("[HK@state]-mute"), true));
        ASSERT_TRUE(s->setValue(QStringLiteral("50%\\off"), 1.5));
        ASSERT_TRUE(s->setValue(QStringLiteral("name"), QStringLiteral("Zoë, \"quoted\" ; not a comment")));
        ASSERT_TRUE(s->setValue(QStringLiteral("when"), when));
        ASSERT_TRUE(s->setValue(QStringLiteral("count"), qint64(1) << 40));
        ASSERT_TRUE(s->setValue(QStringLiteral("list"), QStringList{QStringLiteral("a,b"), QStringLiteral("c")}));
        ASSERT_TRUE(s->synchronize());
        EXPECT_EQ(s->status(), SettingsStatus::ok);
    }
    auto s = Settings::openFile(file);
    EXPECT_EQ(s->dictionary(QStringLiteral("[HK@combo]-mute/all")), combo);
    EXPECT_TRUE(s->boolean(QStringLiteral("[HK@state]-mute")));
    EXPECT_DOUBLE_EQ(s->real(QStringLiteral("50%\\off")), 1.5);
    EXPECT_EQ(s->string(QStringLiteral("name")), QStringLiteral("Zoë, \"quoted\" ; not a comment"));
    EXPECT_EQ(s->value(QStringLiteral("when")).toDateTime(), when);
    EXPECT_EQ(s->integer(QStringLiteral("count")), qint64(1) << 40);
    EXPECT_EQ(s->stringArray(QStringLiteral("list")), (QStringList{QStringLiteral("a,b"), QStringLiteral("c")}));
    EXPECT_EQ(s->userKeys().size(), 7);
}

TEST_F(SettingsFiles, RemovedKeysStayRemovedAfterReopening)
{
    const QString file = path(QStringLiteral("prefs.ini"));
    {
        auto s = Settings::openFile(file);
        ASSERT_TRUE(s->setValue(QStringLiteral("a"), 1));
        ASSERT_TRUE(s->setValue(QStringLiteral("b"), 2));
        ASSERT_TRUE(s->synchronize());
        s->remove(QStringLiteral("a"));
    } // released without synchronize: the destructor writes
    auto s = Settings::openFile(file);
    EXPECT_FALSE(s->hasUserValue(QStringLiteral("a")));
    EXPECT_EQ(s->integer(QStringLiteral("b")), 2);
}

TEST_F(SettingsFiles, WritesReachTheFileFromTheMainQueue)
{
    ManualClock clock;
    auto s = Settings::openFile(path(QStringLiteral("deferred.ini")));
    ASSERT_TRUE(s->setValue(QStringLiteral("a"), 1));
    ASSERT_TRUE(s->setValue(QStringLiteral("b"), 2));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("deferred.ini"))));
    EXPECT_EQ(clock.runPending(), 1) << "one flush for a burst of writes";
    const QByteArray text = readFile(path(QStringLiteral("deferred.ini")));
    EXPECT_TRUE(text.contains("a=1"));
    EXPECT_TRUE(text.contains("b=2"));
}

TEST_F(SettingsFiles, TwoStoresOverOneFileSeeEachOtherAfterSynchronize)
{
    const QString file = path(QStringLiteral("shared.ini"));
    auto writer = Settings::openFile(file);
    auto reader = Settings::openFile(file);
    std::vector<QString> seen;
    reader->observe(QStringLiteral("k"), nullptr, [&](const QString &, const QVariant &v) { seen.push_back(v.toString()); });
    ASSERT_TRUE(writer->setValue(QStringLiteral("k"), QStringLiteral("v1")));
    ASSERT_TRUE(writer->synchronize());
    ASSERT_TRUE(reader->synchronize());
    ASSERT_TRUE(reader->synchronize()); // nothing new: no second call
    EXPECT_EQ(seen, std::vector<QString>{QStringLiteral("v1")});
}

TEST_F(SettingsFiles, OwnWritesDoNotComeBackAsChangesAfterTheRoundTrip)
{
    auto s = Settings::openFile(path(QStringLiteral("typed.ini")));
    int calls = 0;
    s->observe(QStringLiteral("n"), nullptr, [&](const QString &, const QVariant &) { ++calls; });
    ASSERT_TRUE(s->setValue(QStringLiteral("n"), 3));
    ASSERT_TRUE(s->synchronize());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(s->value(QStringLiteral("n")).metaType().id(), QMetaType::Int) << "the typed value stays in this process";
}

TEST_F(SettingsFiles, SuitesAreSeparateFilesAndSharedObjects)
{
    auto a = Settings::suite(QStringLiteral("org.example.A"));
    auto b = Settings::suite(QStringLiteral("org.example.B"));
    EXPECT_EQ(a, Settings::suite(QStringLiteral("org.example.A")));
    EXPECT_NE(a, b);
    EXPECT_EQ(Settings::suite(QString()), Settings::standard());
    EXPECT_EQ(Settings::suite(applicationIdentifier()), Settings::standard());
    ASSERT_TRUE(a->setValue(QStringLiteral("k"), 1));
    ASSERT_TRUE(b->setValue(QStringLiteral("k"), 2));
    EXPECT_EQ(a->integer(QStringLiteral("k")), 1);
    EXPECT_EQ(b->integer(QStringLiteral("k")), 2);
    EXPECT_FALSE(Settings::standard()->hasUserValue(QStringLiteral("k")));
    Settings::synchronizeAll();
    EXPECT_TRUE(readFile(path(QStringLiteral("org.example.A.ini"))).contains("k=1"));
    EXPECT_TRUE(readFile(path(QStringLiteral("org.example.B.ini"))).contains("k=2"));
    EXPECT_EQ(Settings::standard()->location(), path(applicationIdentifier() + QStringLiteral(".ini")));
}

TEST_F(SettingsFiles, SuiteNamesCannotLeaveTheStorageDirectory)
{
    for (const QString &name : {QStringLiteral("../escape"), QStringLiteral("/etc/passwd"), QStringLiteral(".hidden"),
                                QStringLiteral("a/b"), QStringLiteral("..")}) {
        const QString file = Settings::filePathForSuite(name);
        EXPECT_EQ(QFileInfo(file).absolutePath(), QFileInfo(dir.path()).absoluteFilePath()) << name.toStdString();
        EXPECT_FALSE(QFileInfo(file).fileName().startsWith(QLatin1Char('.'))) << name.toStdString();
    }
}

TEST_F(SettingsFiles, InMemoryStoresWriteNoFiles)
{
    Settings::setUseInMemoryStores(true);
    auto s = Settings::suite(QStringLiteral("org.example.Memory"));
    ASSERT_TRUE(s->setValue(QStringLiteral("k"), 1));
    ASSERT_TRUE(s->synchronize());
    Settings::setUseInMemoryStores(false);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(SettingsFiles, WritersOnManyThreadsLoseNothing)
{
    const QString file = path(QStringLiteral("threads.ini"));
    auto s = Settings::openFile(file);
    std::atomic<int> notified{0};
    s->observe(QStringLiteral("t0-0"), nullptr, [&](const QString &, const QVariant &) { ++notified; });
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([s, t] {
            for (int i = 0; i < 200; ++i)
                (void)s->setValue(QStringLiteral("t%1-%2").arg(t).arg(i), i);
        });
    }
    for (int i = 0; i < 20; ++i)
        (void)s->synchronize();
    for (std::thread &writer : writers)
        writer.join();
    ASSERT_TRUE(s->synchronize());
    EXPECT_EQ(notified.load(), 1);
    auto reopened = Settings::openFile(file);
    EXPECT_EQ(reopened->userKeys().size(), 800);
    EXPECT_EQ(reopened->integer(QStringLiteral("t3-199")), 199);
}

// ---- Damaged files ----

TEST_F(SettingsFiles, CorruptFileIsKeptAsideBeforeTheFirstWrite)
{
    const QString file = path(QStringLiteral("broken.ini"));
    QByteArray garbage("\x89PNG\r\n\x1a\n\0\0\0\rIHDR binary", 24);
    writeFile(file, garbage);
    auto s = Settings::openFile(file);
    s->registerDefaults({{QStringLiteral("k"), 7}});
    EXPECT_EQ(s->status(), SettingsStatus::recoveredFromCorruptFile);
    EXPECT_TRUE(s->userKeys().isEmpty());
    EXPECT_EQ(s->integer(QStringLiteral("k")), 7) << "starts from defaults";
    ASSERT_TRUE(s->synchronize());
    EXPECT_EQ(readFile(file), garbage) << "reading alone never rewrites the file";

    ASSERT_TRUE(s->setValue(QStringLiteral("k"), 8));
    ASSERT_TRUE(s->synchronize());
    ASSERT_FALSE(s->backupPath().isEmpty());
    EXPECT_EQ(readFile(s->backupPath()), garbage);
    EXPECT_TRUE(readFile(file).contains("k=8"));
    auto reopened = Settings::openFile(file);
    EXPECT_EQ(reopened->integer(QStringLiteral("k")), 8);
    EXPECT_EQ(reopened->status(), SettingsStatus::ok);
}

TEST_F(SettingsFiles, DamageAfterOpeningIsCaughtBeforeWriting)
{
    const QString file = path(QStringLiteral("later.ini"));
    auto s = Settings::openFile(file);
    ASSERT_TRUE(s->setValue(QStringLiteral("a"), 1));
    ASSERT_TRUE(s->synchronize());
    const QByteArray damage("\xff\xfe\xfd not utf-8 = x\n");
    writeFile(file, damage);
    ASSERT_TRUE(s->setValue(QStringLiteral("b"), 2));
    ASSERT_TRUE(s->synchronize());
    EXPECT_EQ(readFile(s->backupPath()), damage);
    EXPECT_TRUE(readFile(file).contains("b=2"));
}

TEST_F(SettingsFiles, UncopyableDamagedFileIsLeftAloneAndChangesStayInMemory)
{
    // A directory where the file should be: it can be neither read nor copied.
    const QString file = path(QStringLiteral("blocked.ini"));
    ASSERT_TRUE(QDir().mkpath(file + QStringLiteral("/inside")));
    auto s = Settings::openFile(file);
    ASSERT_TRUE(s->setValue(QStringLiteral("k"), 1));
    (void)s->synchronize();
    EXPECT_EQ(s->status(), SettingsStatus::memoryOnly);
    EXPECT_EQ(s->integer(QStringLiteral("k")), 1);
    EXPECT_TRUE(QFileInfo(file + QStringLiteral("/inside")).isDir());
}

TEST(IniSettingsBackend, RecognisesSettingsText)
{
    EXPECT_TRUE(IniSettingsBackend::looksLikeIniFile(""));
    EXPECT_TRUE(IniSettingsBackend::looksLikeIniFile("; comment\n# other\n[General]\na=1\r\nb = two\n\n"));
    EXPECT_TRUE(IniSettingsBackend::looksLikeIniFile("\xEF\xBB\xBFk=v\n"));
    EXPECT_TRUE(IniSettingsBackend::looksLikeIniFile("k=first\\\n  continued\n"));
    EXPECT_FALSE(IniSettingsBackend::looksLikeIniFile("no equals sign\n"));
    EXPECT_FALSE(IniSettingsBackend::looksLikeIniFile("=value without key\n"));
    EXPECT_FALSE(IniSettingsBackend::looksLikeIniFile("[unclosed\n"));
    EXPECT_FALSE(IniSettingsBackend::looksLikeIniFile(QByteArray("k=v\0", 4)));
    EXPECT_FALSE(IniSettingsBackend::looksLikeIniFile("k=\xC3\x28\n"));
}

} // namespace
