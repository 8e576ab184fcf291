// A program run to its end, the event loop turning meanwhile (a station in the
// test process may have to answer it).
#pragma once

#include "support/EventLoop.h"

#include <QProcess>

namespace pim::test {

struct Result {
    int exit = -1; // -1: still running after 30 s, -2: crashed
    std::string out;
    std::string err;
};

inline Result RunProcess(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    process.closeWriteChannel();
    Result run;
    if (!RunUntil([&] { return process.state() == QProcess::NotRunning; },
                  std::chrono::seconds(30))) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

} // namespace pim::test
