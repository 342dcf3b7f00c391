#include "sessionrecorder.h"

#include "channelnamenotes.h"
#include "decodedtextchannel.h"
#include "decodedtextview.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSaveFile>
#include <QWidget>
#include <algorithm>
#include <cstdio>

SessionRecorder::SessionRecorder(QObject* parent)
    : QObject(parent)
{
}

SessionRecorder::~SessionRecorder() = default;

bool SessionRecorder::SetAnnotationFile(const QString& path, QString& error)
{
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = QCoreApplication::translate("SessionRecorder", "Cannot append to '%1': %2")
                    .arg(path, m_file.errorString());
        return false;
    }
    return true;
}

bool SessionRecorder::IsRecording() const
{
    return m_file.isOpen();
}

void SessionRecorder::Watch(DecodedTextView* view)
{
    if (!view || !IsRecording())
        return;
    connect(view, &DecodedTextView::SaveUserData, this, &SessionRecorder::Record,
            Qt::UniqueConnection);
}

int SessionRecorder::RecordedCount() const
{
    return m_recorded;
}

void SessionRecorder::Record(int channel, const QString& xmlText)
{
    Q_UNUSED(channel)
    if (!IsRecording())
        return;
    QByteArray bytes = xmlText.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    // Flushed at once, so a session that ends abruptly still has what was sent.
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        std::fprintf(stderr, "dtvlauncher: cannot append an annotation to %s: %s\n",
                     qUtf8Printable(m_file.fileName()), qUtf8Printable(m_file.errorString()));
        return;
    }
    ++m_recorded;
}

QList<DecodedTextView*> SessionRecorder::FindViews()
{
    QList<DecodedTextView*> views;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (auto* view = qobject_cast<DecodedTextView*>(window))
            views.append(view);
        for (DecodedTextView* view : window->findChildren<DecodedTextView*>()) {
            if (!views.contains(view))
                views.append(view);
        }
    }
    return views;
}

QVector<int> SessionRecorder::Channels(const DecodedTextView* view)
{
    QVector<int> channels;
    if (!view)
        return channels;
    for (const DecodedTextChannel* pane : view->findChildren<DecodedTextChannel*>()) {
        if (!channels.contains(pane->GetChannel()))
            channels.append(pane->GetChannel());
    }
    std::sort(channels.begin(), channels.end());
    return channels;
}

bool SessionRecorder::Export(const QList<DecodedTextView*>& views, const QString& path,
                             QString& error)
{
    QString xml;
    try {
        VarnoResultDataXml::VarnoResultData document;
        QMap<int, QString> names;
        for (DecodedTextView* view : views) {
            for (int channel : Channels(view))
                view->GetData(channel, document, false);
            names.insert(view->GetChannelNames());
        }
        xml = ChannelNameNotes::Insert(document.GetXmlString(), names);
    } catch (const VarnoResultDataXml::VarnoResultDataException& e) {
        error = QCoreApplication::translate("SessionRecorder", "Cannot write the document: %1")
                    .arg(e.GetMessage());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QCoreApplication::translate("SessionRecorder", "Cannot write '%1': %2")
                    .arg(path, file.errorString());
        return false;
    }
    file.write(xml.toUtf8());
    if (!file.commit()) {
        error = QCoreApplication::translate("SessionRecorder", "Cannot write '%1': %2")
                    .arg(path, file.errorString());
        return false;
    }
    return true;
}
