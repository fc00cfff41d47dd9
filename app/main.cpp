#include "app/TApplication.h"
#include "i18n/Translate.h"
#include "transport/MainThread.h"
#include "ui/operations/SyslogWriteLog.h"
#include "ui/window/Application.h"
#include "ui/window/ErrorReport.h"
#include "ui/window/ReceiveBufferSetting.h"
#include "ui/window/TfrmMain.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char* argv[]) {
    tcpipset::RecordMainThread();
    // The window and its fonts keep their pixel sizes whatever the screen's resolution.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");

    tcpipset::TApplication application(argc, argv);
    tcpipset::SetUpApplication();

    tcpipset::EndpointSettings endpoint;
    if (const char* text = std::getenv(tcpipset::ReceiveBufferVariable)) {
        endpoint.receiveBuffer = tcpipset::ReceiveBufferSetting(text);
        if (!endpoint.receiveBuffer) {
            // TRANSLATORS: %1 is the name of the environment variable.
            std::cerr << "tcpipset: "
                      << tcpipset::i18n::Format(
                             tcpipset::i18n::Tr(
                                 "%1 is not a number of bytes from 0 to 1073741824; ignored"),
                             tcpipset::ReceiveBufferVariable)
                      << '\n';
        }
    }
    int result = 0;
    // Every set and restart that the window sends is recorded in the system log.
    tcpipset::SyslogWriteLog writeLog("tcpipset");
    try {
        // Destroyed only after the loop has ended, so never while a wait is on the stack.
        tcpipset::TfrmMain frmMain(endpoint);
        frmMain.Operations().SetWriteLog(&writeLog);
        tcpipset::RunReported([&frmMain] { frmMain.FormCreate(); });
        frmMain.show();
        result = tcpipset::TApplication::exec();
    } catch (...) {
        // The window itself could not be created (no socket stack, say).
        tcpipset::ShowErrorReport(std::current_exception());
        result = 1;
    }
    return result;
}
