// The window's tests need one application object for the whole run, on the main thread.

#include "transport/MainThread.h"
#include "ui/window/Application.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    tcpipset::RecordMainThread();
    // Never on the machine's own display, even when started by hand.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    tcpipset::SetUpApplication();
    return RUN_ALL_TESTS();
}
