#pragma once

#include <QMainWindow>
#include <QString>

class DecodedTextView;
class LiveFeedServer;
class QLabel;

// The launcher's own window around a view, for a replay or a live feed: the view, a File menu
// to save a transcript or an export of what it shows, and a status line.
class MonitorWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MonitorWindow(QWidget* parent = nullptr);
    ~MonitorWindow() override;

    DecodedTextView* View() const;
    // Shows the server's address and connections in the status line, and opens the pane of
    // each new decoder channel while fewer than OpenPanes are open.
    void Watch(LiveFeedServer* server);

    static constexpr int OpenPanes = 4;

    // What the File menu's entries do once a file is chosen; false after telling the user.
    bool SaveTranscript(const QString& path);
    bool Export(const QString& path);

private:
    void ChooseTranscript();
    void ChooseExport();
    void Choose(const QString& title, const QString& filter,
                bool (MonitorWindow::*save)(const QString&));
    void OpenPane(int channel);
    void Complain(const QString& error);

    DecodedTextView* m_view;
    QLabel* m_status;
    LiveFeedServer* m_server = nullptr;
};
