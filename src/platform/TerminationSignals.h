#pragma once

#include <QObject>

class QSocketNotifier;

namespace pim {

// Turns SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C, kill) into a Qt signal on the
// GUI thread, so the program ends through its orderly shutdown instead of dying
// with unsaved state. One instance per process.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Call first thing in main(): a signal that comes before the watch exists then
    // waits for it instead of killing the program.
    static void HoldUntilWatched();

    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void requested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace pim
