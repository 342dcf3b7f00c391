#include "monitorwindow.h"

#include "decodedtextchannel.h"
#include "decodedtextview.h"
#include "livefeedserver.h"
#include "sessionrecorder.h"
#include "transcriptwriter.h"

#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

MonitorWindow::MonitorWindow(QWidget* parent)
    : QMainWindow(parent), m_view(new DecodedTextView(this)), m_status(new QLabel(this))
{
    setCentralWidget(m_view);
    statusBar()->addWidget(m_status, 1);
    // Only a live feed has something to say there.
    statusBar()->hide();
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* transcript
        = file->addAction(tr("Save &Transcript…"), this, &MonitorWindow::ChooseTranscript);
    transcript->setObjectName(QStringLiteral("SaveTranscript"));
    QAction* exportAction = file->addAction(tr("&Export…"), this, &MonitorWindow::ChooseExport);
    exportAction->setObjectName(QStringLiteral("Export"));
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setObjectName(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence::Quit);
}

MonitorWindow::~MonitorWindow() = default;

DecodedTextView* MonitorWindow::View() const
{
    return m_view;
}

void MonitorWindow::Watch(LiveFeedServer* server)
{
    m_server = server;
    statusBar()->show();
    const auto update = [this]() {
        const int count = m_server->ConnectionCount();
        const QString address = m_server->Address();
        m_status->setText(
            count == 1 ? tr("Listening on %1 · 1 decoder connected").arg(address)
                       : tr("Listening on %1 · %2 decoders connected").arg(address).arg(count));
    };
    connect(server, &LiveFeedServer::ConnectionOpened, this, update);
    connect(server, &LiveFeedServer::ConnectionClosed, this, update);
    connect(server, &LiveFeedServer::ChannelSeen, this, &MonitorWindow::OpenPane);
    update();
}

void MonitorWindow::OpenPane(int channel)
{
    DecodedTextChannel* pane = nullptr;
    int open = 0;
    for (DecodedTextChannel* candidate : m_view->findChildren<DecodedTextChannel*>()) {
        open += candidate->IsExpanded() ? 1 : 0;
        if (candidate->GetChannel() == channel)
            pane = candidate;
    }
    if (pane && !pane->IsExpanded() && open < OpenPanes)
        pane->ExpandTextArea(true);
}

bool MonitorWindow::SaveTranscript(const QString& path)
{
    QString error;
    if (TranscriptWriter::Write({ m_view }, path, error))
        return true;
    Complain(error);
    return false;
}

bool MonitorWindow::Export(const QString& path)
{
    QString error;
    if (SessionRecorder::Export({ m_view }, path, error))
        return true;
    Complain(error);
    return false;
}

void MonitorWindow::ChooseTranscript()
{
    Choose(tr("Save Transcript"), tr("Text files (*.txt);;All files (*)"),
           &MonitorWindow::SaveTranscript);
}

void MonitorWindow::ChooseExport()
{
    Choose(tr("Export"), tr("Result-data documents (*.xml);;All files (*)"),
           &MonitorWindow::Export);
}

void MonitorWindow::Choose(const QString& title, const QString& filter,
                           bool (MonitorWindow::*save)(const QString&))
{
    // Not modal to the application, so that nothing waits on the dialog.
    auto* dialog = new QFileDialog(this, title, QString(), filter);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this,
            [this, save](const QString& path) { (this->*save)(path); });
    dialog->open();
}

void MonitorWindow::Complain(const QString& error)
{
    QMessageBox::warning(this, windowTitle(), error);
}
