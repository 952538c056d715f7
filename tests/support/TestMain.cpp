// The main() of every test program: a QApplication on the offscreen platform, so that
// windows can be built and driven headless, and the shared fakes reporting a use against
// their script as a failure of the running test.
#include "fakes/Fakes.h"
#include <QApplication>
#include <gtest/gtest.h>

// LeakSanitizer's options in a sanitized build, whoever starts the test program: the
// suppressions of tests/lsan.supp (leaks inside system libraries the program cannot free).
// Read by the sanitizer's runtime before main(); never called without it.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" ROCKVANE_LSAN_SUPPRESSIONS;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    rv::fakes::setFailureHook([](const QString& what) { ADD_FAILURE() << what.toStdString(); });
    return RUN_ALL_TESTS();
}
