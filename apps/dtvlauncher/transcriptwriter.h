#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVector>

class DecodedTextView;
namespace VarnoResultDataXml {
class DataBlock;
}

// A plain-text log of what the views show: every line of text of every channel, merged in
// time order, as "TIME<tab>CHANNEL<tab>TEXT" with the annotations written into the text.
// docs/live-feed.md gives the notation. It is made from the channels' export (GetData), so
// like an export it marks everything as exported.
class TranscriptWriter
{
public:
    static QString Render(const QList<DecodedTextView*>& views);
    // Render into a file, replacing it only once the whole transcript is written.
    static bool Write(const QList<DecodedTextView*>& views, const QString& path, QString& error);

private:
    struct Line {
        QDateTime order; // never earlier than the line before it in its channel
        QDateTime time;
        QString channel;
        QString text;
    };
    struct Mark {
        int start = 0;
        int end = 0;
        QString label;
    };

    TranscriptWriter();
    void AddBlock(const VarnoResultDataXml::DataBlock& block, const QDateTime& start);
    void CloseAt(int position);
    QDateTime TimeAt(int index) const;
    void EndLine(int next);

    QVector<Line> m_lines;
    QString m_channel;
    QDateTime m_order;
    // The block being written.
    const VarnoResultDataXml::DataBlock* m_block = nullptr;
    QDateTime m_start;
    QVector<Mark> m_marks;
    QVector<int> m_open; // indices into m_marks, outermost first
    QString m_text;
    int m_lineStart = 0;
};
