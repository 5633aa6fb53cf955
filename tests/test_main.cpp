// The one main() of every test program. Test discovery runs the binaries at
// build time without the test environment, so the offscreen platform is
// chosen here, before the QApplication exists.
#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Results must not depend on the machine's language or number format.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    qputenv("LANGUAGE", "en_US");
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("kalvo-tests"));
    app.setOrganizationDomain(QStringLiteral("tests.kalvo.org"));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
