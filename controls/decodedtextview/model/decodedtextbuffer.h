#pragma once

#include "decodedtextblock.h"
#include "dtv_export.h"

#include <QExplicitlySharedDataPointer>
#include <QList>
#include <QSharedData>

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

    int channel;
    bool hold = false;
    bool overflow = false;
    QList<QExplicitlySharedDataPointer<DecodedTextBlock>> blocks;

private:
    Q_DISABLE_COPY(DecodedTextBuffer)
};
