#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in the terminal, the terminal closed) end the
// editor as ending the session would, not as a crash: the handler only writes a byte into a
// pipe (all a signal handler may safely do), and the event loop, woken by the pipe, runs the
// callback once.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace pq::app {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~QuitSignals() override;

private:
    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
    bool fired_ = false;
};

}  // namespace pq::app
