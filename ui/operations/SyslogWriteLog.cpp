#include "ui/operations/SyslogWriteLog.h"

#include "ui/operations/WriteRecordLine.h"

#include <syslog.h>
#include <utility>

namespace tcpipset {

SyslogWriteLog::SyslogWriteLog(std::string ident) : ident_(std::move(ident)) {
    // The pid tells two runs apart; the socket is opened at the first record, so a run
    // that writes nothing never touches the log.
    ::openlog(ident_.c_str(), LOG_PID, LOG_USER);
}

SyslogWriteLog::~SyslogWriteLog() {
    ::closelog();
}

void SyslogWriteLog::Record(const WriteRecord& record) {
    // The line holds texts from devices and the environment: never a format.
    ::syslog(LOG_USER | LOG_NOTICE, "%s", WriteRecordLine(record).c_str());
}

} // namespace tcpipset
