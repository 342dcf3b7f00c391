#pragma once

#include "decodedtextblock.h"
#include "dtv_export.h"

#include <QExplicitlySharedDataPointer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSharedData>
#include <QVector>

// One channel's text: its blocks, oldest first, bounded by Trim.
class DTV_EXPORT DecodedTextBuffer : public QSharedData
{
public:
    explicit DecodedTextBuffer(int channel);
    virtual ~DecodedTextBuffer();

    QExplicitlySharedDataPointer<DecodedTextBlock> LastBlock() const;
    QExplicitlySharedDataPointer<DecodedTextBlock> FirstBlock() const;
    QExplicitlySharedDataPointer<DecodedTextBlock> GetBlock(const QDateTime& timestamp, int id);
    bool Trim(int bufferSize);
    QString TickerText(int maxLength) const;
    void RemoveOldBlocks();

    // The block that the latest intake or merge wrote into, and whether that write changed
    // text the block had before (a resend, a merge into its middle) instead of only adding to
    // its end. The channel's signals do not say which block new text went to, nor how; a view
    // that only renews the newest block asks here. Writes() counts the writes noted, so that
    // the view can tell that exactly one came since it last looked.
    void NoteWritten(const QExplicitlySharedDataPointer<DecodedTextBlock>& block,
                     bool rewrote = false);
    QExplicitlySharedDataPointer<DecodedTextBlock> LastWritten() const;
    bool LastWriteRewrote() const { return lastRewrote; }
    quint64 Writes() const { return writes; }

    int channel;
    bool hold = false;
    bool overflow = false;
    QList<QExplicitlySharedDataPointer<DecodedTextBlock>> blocks;

private:
    // What GetBlock and Trim learnt of the blocks, so that one intake costs the same however
    // many blocks the buffer holds; the source says what is checked before it is used.
    struct SeenBlock
    {
        qint64 label = 0;   // rises from the oldest block to the newest
        int length = 0;     // of the text
        bool empty = true;  // without snippets
    };

    bool SeenIsCurrent() const;
    void LearnBlocks();
    void ForgetBlocks();
    void CatchUp();
    void Relearn(int index);
    SeenBlock& Entry(int index);
    int IndexOfLabel(qint64 label) const;
    bool RemoveEmptyBlocks(int trimmed);
    void ForgetKey(int index);

    QExplicitlySharedDataPointer<DecodedTextBlock> lastWritten;
    bool lastRewrote = false;
    quint64 writes = 0;
    bool learnt = false;
    QList<QExplicitlySharedDataPointer<DecodedTextBlock>> seenList;
    QVector<SeenBlock> seen;  // from seenFront on, one per block
    int seenFront = 0;
    qint64 seenLength = 0;
    int seenEmpty = 0;
    qint64 nextLabel = 0;
    int relearnFrom = 0;
    QVector<int> handedOut;
    QHash<QPair<qint64, int>, qint64> newestWithKey;  // label of the newest block with a key
    bool duplicateKeys = false;

    Q_DISABLE_COPY(DecodedTextBuffer)
};
