#pragma once

#include <QObject>

class QSocketNotifier;

namespace app {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered by the event loop,
// so a logout, a closed terminal or Ctrl+C closes the main window the normal way
// and its settings are written. A signal handler may only write to a pipe; the rest happens here.
// Should the event loop not take the request up within two seconds (the user-interface thread
// held by some long work), a watchdog ends the process as the signal means, without the
// closing sequence: a termination request is always obeyed promptly.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace app
