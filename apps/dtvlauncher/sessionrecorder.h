#pragma once

#include <QFile>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

class DecodedTextView;

// What the launcher keeps of a session: every annotation document a view sends, appended to
// a file as it arrives, and on request all channels of the views written as one document.
class SessionRecorder : public QObject
{
    Q_OBJECT

public:
    explicit SessionRecorder(QObject* parent = nullptr);
    ~SessionRecorder() override;

    // Opens the file for appending; earlier contents stay.
    bool SetAnnotationFile(const QString& path, QString& error);
    bool IsRecording() const;
    void Watch(DecodedTextView* view);
    int RecordedCount() const;

    // Every DecodedTextView in the application's top-level windows.
    static QList<DecodedTextView*> FindViews();
    // The channels a view shows a pane for, ascending.
    static QVector<int> Channels(const DecodedTextView* view);
    // GetData of every channel of every view, into one document written to path, with the
    // views' channel names as ChannelNameNotes.
    static bool Export(const QList<DecodedTextView*>& views, const QString& path,
                       QString& error);

    void Record(int channel, const QString& xmlText);

private:
    QFile m_file;
    int m_recorded = 0;
};
