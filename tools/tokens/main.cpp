// kalvo-tokens: checks token files the way the library will use them.
//
//   kalvo-tokens contrast colors-light.json colors-dark.json [colors-rose.json ...] [--all]
//
// Files are recognised by name: "light" and "dark" are required, and any
// file named after a theme (agave, bloom, rose, ...) supplies that theme's
// dark values. Prints every failing pair (every pair with --all) and exits
// 0 when all pass, 1 when some fail, 2 when the files cannot be used.
#include <kalvo/theme/contrast.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

using namespace kalvo;

namespace {

int usage()
{
    std::fprintf(stderr, "usage: kalvo-tokens contrast LIGHT.json DARK.json [THEME.json ...] [--all]\n"
                         "  theme files are named after their theme (agave, bloom, rose, ...)\n");
    return 2;
}

std::optional<QHash<QString, QString>> readTable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kalvo-tokens: cannot read %s\n", qPrintable(path));
        return std::nullopt;
    }
    std::optional<QHash<QString, QString>> table = parseTokenFile(file.readAll());
    if (!table)
        std::fprintf(stderr, "kalvo-tokens: %s is not a JSON object of colour strings\n", qPrintable(path));
    return table;
}

std::optional<ThemeName> themeInName(const QString &baseName)
{
    for (ThemeName theme : allCases<ThemeName>()) {
        const QString name = debugDescription(theme).mid(1);
        if (theme != ThemeName::none && theme != ThemeName::dark && baseName.contains(name, Qt::CaseInsensitive))
            return theme;
    }
    return std::nullopt;
}

int contrast(const QStringList &args)
{
    bool all = false;
    TokenTables tables;
    bool haveLight = false, haveDark = false;
    for (const QString &arg : args) {
        if (arg == QLatin1String("--all")) {
            all = true;
            continue;
        }
        std::optional<QHash<QString, QString>> table = readTable(arg);
        if (!table)
            return 2;
        const QString base = QFileInfo(arg).completeBaseName();
        if (const std::optional<ThemeName> theme = themeInName(base)) {
            tables.themes[*theme] = *table;
        } else if (base.contains(QLatin1String("light"), Qt::CaseInsensitive)) {
            tables.light = *table;
            haveLight = true;
        } else if (base.contains(QLatin1String("dark"), Qt::CaseInsensitive)) {
            tables.dark = *table;
            haveDark = true;
        } else {
            std::fprintf(stderr, "kalvo-tokens: cannot tell which appearance or theme %s is for\n", qPrintable(arg));
            return 2;
        }
    }
    if (!haveLight || !haveDark)
        return usage();

    int failures = 0;
    const std::vector<ContrastResult> results = checkTokenContrast(tables);
    for (const ContrastResult &r : results) {
        if (!r.passes)
            ++failures;
        if (r.passes && !all)
            continue;
        const QString where = QStringLiteral("%1%2").arg(r.dark ? QStringLiteral("dark") : QStringLiteral("light"),
                                                        r.theme == ThemeName::none ? QString() : QLatin1Char('/') + debugDescription(r.theme).mid(1));
        if (!r.problem.isEmpty()) {
            std::printf("FAIL  %-12s %-28s on %-26s %s\n", qPrintable(where), qPrintable(r.foreground),
                        qPrintable(r.background), qPrintable(r.problem));
        } else {
            std::printf("%s  %-12s %-28s on %-26s %5.2f (needs %.1f)\n", r.passes ? "ok  " : "FAIL", qPrintable(where),
                        qPrintable(r.foreground), qPrintable(r.background), r.ratio, r.minimum);
        }
    }
    std::printf("%zu checks, %d failing\n", results.size(), failures);
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("contrast"))
        return contrast(args);
    return usage();
}
