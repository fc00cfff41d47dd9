// The window's tests need one application object for the whole run, on the main thread.

#include "tests/i18n/Language.h"
#include "transport/MainThread.h"
#include "ui/window/Application.h"

#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>

int main(int argc, char* argv[]) {
    tcpipset::RecordMainThread();
    // Never on the machine's own display, even when started by hand.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    tcpipset::SetUpApplication();
    // The window is read as a Japanese operator reads it, whatever the machine's locale
    // (QApplication took it from the environment); the tests of English say so in a row.
    ::unsetenv("LANGUAGE");
    if (std::setlocale(LC_MESSAGES, tcpipset::languages::Japanese) == nullptr) {
        std::cerr << "ui_tests: the locale " << tcpipset::languages::Japanese
                  << " is missing: tools/install-deps generates it\n";
        return 1;
    }
    return RUN_ALL_TESTS();
}
