#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// SIGINT and SIGTERM heard in the event loop: while one of these lives, the
// handler only writes a byte to a pipe, and received() is emitted from the
// loop. At its end both signals end the process again. One at a time.
class QuitSignals : public QObject
{
    Q_OBJECT
public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    // False when the pipe could not be made (the signals are not caught).
    bool caught() const { return m_pipe[0] >= 0; }
    // The pipe's end that becomes readable at a signal, for a wait that
    // must not outlast one.
    int wakeDescriptor() const { return m_pipe[0]; }

signals:
    void received();

private:
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
