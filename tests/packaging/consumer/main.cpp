// A host application in miniature: links an installed Kalvo and touches one
// thing of each kind (resources, settings, scheduler, typography).
#include <kalvo/foundation/typography.h>
#include <kalvo/platform/bundle.h>
#include <kalvo/platform/manualclock.h>
#include <kalvo/platform/settings.h>

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const auto info = kalvo::Bundle::library()->readResource(QStringLiteral("info"), QStringLiteral("json"));
    if (!info || !info->contains(kalvo::kLibraryBundleIdentifier)) {
        std::fprintf(stderr, "library resources missing\n");
        return 1;
    }

    auto settings = kalvo::Settings::inMemory();
    settings->registerDefaults({{QStringLiteral("answer"), 42}});
    if (settings->integer(QStringLiteral("answer")) != 42)
        return 2;

    kalvo::ManualClock clock;
    bool ran = false;
    kalvo::asyncAfter(1.0, [&] { ran = true; });
    clock.advance(1.0);
    if (!ran)
        return 3;

    if (kalvo::fontWithTypograph(kalvo::Typograph::bold36).pixelSize() != 36)
        return 4;

    std::printf("ok\n");
    return 0;
}
