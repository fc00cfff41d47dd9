#pragma once

#include "ui/operations/WriteRecord.h"

#include <string>

namespace tcpipset {

// Writes each record as one line to the system log (see WriteRecordLine), facility user,
// priority notice, under the program's ident, so that `journalctl -t IDENT` shows every
// write the program made. The connection to the log is the process's own: one such log
// at a time.
class SyslogWriteLog final : public WriteLog {
public:
    explicit SyslogWriteLog(std::string ident);
    ~SyslogWriteLog() override;
    SyslogWriteLog(const SyslogWriteLog&) = delete;
    SyslogWriteLog& operator=(const SyslogWriteLog&) = delete;

    void Record(const WriteRecord& record) override;

private:
    // The system keeps the pointer it is given, not a copy, until closelog.
    std::string ident_;
};

} // namespace tcpipset
