#pragma once

#include <QObject>

class QSocketNotifier;

namespace app {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered by the event loop,
// so a logout, a closed terminal or Ctrl+C closes the main window the normal way
// and its settings are written. A signal handler may only write to a pipe; the rest happens here.
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
