#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a normal end of the event loop, so that a session stopped
// from a terminal or by a supervisor still writes its export and transcript. The signal
// handler only writes a byte to a pipe; the quit happens in the event loop.
class QuitOnSignal : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    QSocketNotifier* m_notifier = nullptr;
};
