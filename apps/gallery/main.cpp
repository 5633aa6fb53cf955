// kalvo-gallery: every Kalvo control, in light and dark and every theme.
//
//   kalvo-gallery                       open the gallery window
//   kalvo-gallery --screenshot DIR      write every page as PNG files
//   kalvo-gallery --screenshot DIR --page typography
#include "gallery_window.h"
#include "screenshots.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QStyleFactory>

#include <cstdio>

namespace {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool wantsScreenshots(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--screenshot") == 0 || qstrncmp(argv[i], "--screenshot=", 13) == 0)
            return true;
    }
    return false;
}

// The offscreen platform reports what it cannot do for every window; none of
// it matters for rendering pages.
void quietOffscreenNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")) || message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char **argv)
{
    // Screenshots need no display: render offscreen unless told otherwise.
    if (wantsScreenshots(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietOffscreenNotes);
    } else if (!hasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "kalvo-gallery: no display; use --screenshot DIR to render pages to files\n");
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kalvo-gallery"));
    QApplication::setOrganizationDomain(QStringLiteral("kalvo.org"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // Inter is close to the platform fonts the controls were designed with;
    // use it when it is installed, the desktop's font otherwise.
    if (QFontDatabase::families().contains(QStringLiteral("Inter"))) {
        QFont font(QStringLiteral("Inter"));
        font.setPixelSize(13);
        QApplication::setFont(font);
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The Kalvo control gallery."));
    parser.addHelpOption();
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Write every page, appearance and theme as PNG files into <dir>."),
                                  QStringLiteral("dir"));
    QCommandLineOption page(QStringLiteral("page"), QStringLiteral("Only this page (with --screenshot)."),
                            QStringLiteral("id"));
    parser.addOption(screenshot);
    parser.addOption(page);
    parser.process(app);

    if (parser.isSet(screenshot))
        return gallery::writeScreenshots(parser.value(screenshot), parser.value(page)) == 0 ? 0 : 1;

    gallery::GalleryWindow window;
    window.show();
    return app.exec();
}
