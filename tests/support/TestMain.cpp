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

// At the end of a program that loaded a library with thread-local storage of its own (the
// image writers behind a JPEG or PDF export, fonts), LeakSanitizer's scan of the threads
// can fault on the dynamic thread-local storage that library left behind: every test
// passes, then the leak check stops with a fatal error. Not tracking that storage keeps
// the leak check on and lets it finish. (Read only by AddressSanitizer's runtime.)
extern "C" const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    rv::fakes::setFailureHook([](const QString& what) { ADD_FAILURE() << what.toStdString(); });
    return RUN_ALL_TESTS();
}
