// The program ends cleanly when it is told to: SIGTERM (systemctl stop, a
// shutdown), SIGINT (Ctrl+C) and SIGHUP (the session ends) end the event loop
// as closing the main window does. SIGPIPE never ends it: a log line written
// to a pipe whose reader is gone is dropped.
#pragma once

#include <QObject>

class QSocketNotifier;

// A write to a pipe whose reader is gone fails instead of ending the program.
// Called first of all: Qt may write a warning while it starts.
void ignoreBrokenPipes();

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Quits the application's event loop on those signals from now on.
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    QSocketNotifier *mNotifier = nullptr;
};
