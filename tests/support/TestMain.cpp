// Every test program runs with an application object on the offscreen platform: fonts,
// printers and PDF output need it, and queued calls between threads need its event loop.

#include "net/rates/IsolatedConversion.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {
void Default(const char *name, const char *value)
{
    if (!qEnvironmentVariableIsSet(name))
        qputenv(name, value);
}
} // namespace

int main(int argc, char **argv)
{
    // The workbook conversions of the code under test start this program afresh.
    if (const int converted = ostrevo::RunWorkbookConversion(argc, argv); converted >= 0)
        return converted;
    Default("QT_QPA_PLATFORM", "offscreen");
#ifdef OSTREVO_TEST_DATA_DIR
    Default("OSTREVO_TEST_DATA", OSTREVO_TEST_DATA_DIR);
    Default("OSTREVO_TEST_SERVICES", OSTREVO_TEST_SERVICES_DIR);
    Default("OSTREVO_BINARY", OSTREVO_BINARY_PATH);
    Default("OSTREVO_SOURCE_DIR", OSTREVO_SOURCE_PATH);
#endif
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
