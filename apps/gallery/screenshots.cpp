#include "screenshots.h"

#include "gallery_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>

#include <cstdio>

namespace gallery {

int writeScreenshots(const QString &directory, const QString &onlyPage)
{
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "kalvo-gallery: cannot create %s\n", qPrintable(directory));
        return 1;
    }
    int failures = 0;
    int matched = 0;
    for (int index = 0; index < static_cast<int>(pages().size()); ++index) {
        const Page &page = pages()[static_cast<std::size_t>(index)];
        if (!onlyPage.isEmpty() && page.id != onlyPage)
            continue;
        ++matched;
        for (bool dark : {false, true}) {
            for (const QString &theme : themeNames()) {
                GalleryWindow window;
                window.setAttribute(Qt::WA_DontShowOnScreen);
                window.showPage(index);
                window.setLook(Look{dark, theme});
                window.show();
                // A window that is never on screen is not activated by the
                // platform; make it active so focus (and focus rings) show.
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
                QApplication::setActiveWindow(&window);
#else
                window.activateWindow();
#endif
                QApplication::processEvents();
                window.resize(1280, std::max(760, window.fullHeight()));
                // Let short animations (busy fades, highlights) reach their
                // resting state before the picture is taken.
                QElapsedTimer settle;
                settle.start();
                while (settle.elapsed() < 300)
                    QApplication::processEvents(QEventLoop::AllEvents, 20);
                const QString file = QDir(directory).filePath(
                    QStringLiteral("%1-%2-%3.png").arg(page.id, dark ? QStringLiteral("dark") : QStringLiteral("light"), theme));
                if (window.grab().toImage().save(file)) {
                    std::printf("%s\n", qPrintable(file));
                } else {
                    std::fprintf(stderr, "kalvo-gallery: cannot write %s\n", qPrintable(file));
                    ++failures;
                }
            }
        }
    }
    if (matched == 0) {
        std::fprintf(stderr, "kalvo-gallery: no page named %s\n", qPrintable(onlyPage));
        return 1;
    }
    return failures;
}

} // namespace gallery
