#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <climits>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::IVarnoResultData;
using VarnoResultDataXml::TimeStamp;
using VarnoResultDataXml::Transmission;
using VarnoResultDataXml::UserData;

namespace {

// Channels, stream positions and block positions are kept within what a result-data document
// can carry. That leaves the edits and separators that later move positions far from int
// overflow, and keeps everything the model holds exportable.
constexpr qint64 DocumentLimit = IVarnoResultData::ValueLimit;

// Question marks stand in for characters that a time stamp promises but the content lacks.
// Thousands of them in one data block mean the stamps are corrupt, not that a few characters
// were lost, and padding them would cost far more than the block itself.
constexpr qint64 PaddingLimit = 4096;

bool AcceptableChannel(int channel)
{
    // Negative numbers are the skip and scratch markers of the result-data classes, never a
    // channel; beyond the document limit the channel could not be exported again.
    return channel >= 0 && channel <= DocumentLimit;
}

// The checks of a data block that do not depend on the block it goes into. A block refused here
// is dropped whole: laying down part of it would either scramble the position space (stamps out
// of order give snippets that end before they start) or leave positions that no later intake or
// export can handle.
bool AcceptableStamps(const QString& content, const QVector<TimeStamp>& stamps)
{
    if (stamps.isEmpty())
        return true;
    qint64 previous = 0;
    for (const TimeStamp& stamp : stamps) {
        if (stamp.Position < previous || stamp.Position > DocumentLimit)
            return false;
        previous = stamp.Position;
    }
    const qint64 first = stamps.first().Position;
    const qint64 last = stamps.last().Position;
    const qint64 padding = last - first - content.size();
    return padding <= PaddingLimit && first + content.size() <= DocumentLimit;
}

// Next running number of the user and aggregation channels; a decoder may have used the top id.
int NextId(int id)
{
    return id == INT_MAX ? 1 : id + 1;
}

} // namespace

void DecodedTextData::AddTransmission(const QString& xml)
{
    try {
        Transmission transmission;
        transmission.SetXmlString(xml);
        // A copy of the pointers: the transmission keeps owning the blocks.
        const QVector<DataBlock*> dataBlocks = transmission.GetDataBlock();
        if (dataBlocks.isEmpty()) {
            EndTransmission();
            return;
        }
        const QDateTime start = transmission.GetStartTime();
        for (DataBlock* dataBlock : dataBlocks)
            AddData(dataBlock, start, QExplicitlySharedDataPointer<DecodedTextBlock>());
    } catch (...) {
        // The host streams text continuously; one broken transmission must not take the view down.
    }
}

void DecodedTextData::AddTransmission(const QMap<int, int>& channelMap, QVector<int>& usedChannels,
                                      const QString& xml)
{
    try {
        Transmission transmission;
        transmission.SetXmlString(xml);
        const QVector<DataBlock*> dataBlocks = transmission.GetDataBlock();
        if (dataBlocks.isEmpty())
            return;
        const QDateTime start = transmission.GetStartTime();

        QExplicitlySharedDataPointer<DecodedTextBuffer> aggregation
            = GetChannelData(AggregationChannelID);
        QExplicitlySharedDataPointer<DecodedTextBlock> aggregationBlock = aggregation->LastBlock();
        if (!aggregationBlock)
            aggregationBlock = aggregation->GetBlock(start, 1);
        else if (aggregationBlock->closed)
            aggregationBlock = aggregation->GetBlock(start, NextId(aggregationBlock->id));

        for (DataBlock* dataBlock : dataBlocks) {
            const int source = dataBlock->GetChannel();
            const int mapped = channelMap.value(source, -1);
            // A source mapped onto the aggregation channel is skipped like an unmapped one: its
            // text would land in the aggregation block itself and be merged into it a second
            // time, and closing it as a channel block would end the open aggregation block in
            // the middle of the transmission, leaving the other channels' text to a stray block.
            if (mapped < 0 || mapped == AggregationChannelID)
                continue;
            dataBlock->SetChannel(mapped);
            AddData(dataBlock, start, aggregationBlock);
            if (!usedChannels.contains(source))
                usedChannels.append(source);
        }
    } catch (...) {
        // As in the plain intake: what was laid down stays, the rest of the transmission is lost.
    }
}

void DecodedTextData::AddData(DataBlock* block, const QDateTime& timestamp,
                              QExplicitlySharedDataPointer<DecodedTextBlock> aggregationBlock)
{
    if (!block)
        return;
    const int channel = block->GetChannel();
    if (!AcceptableChannel(channel))
        return;

    // The operator's channel only needs a block for this transmission; its text is typed here.
    if (channel == UserChannelID) {
        GetChannelData(channel)->GetBlock(timestamp, block->GetID());
        return;
    }
    // Refused before the channel is created or trimmed, so that garbage leaves no trace.
    if (!AcceptableStamps(block->GetContent(), block->GetTimeStamp()))
        return;

    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = GetChannelData(channel);
    bool refresh = false;

    QExplicitlySharedDataPointer<DecodedTextBlock> target;
    int first = -1;
    if (buffer->overflow) {
        if (buffer->hold)
            return;
        buffer->overflow = false;
        refresh = true;
        target = buffer->GetBlock(timestamp, block->GetID());
        first = target->AddBlockData(block, false, &refresh);
        if (first < 0)
            return;
    } else {
        refresh = buffer->Trim(bufferSize);
        target = buffer->GetBlock(timestamp, block->GetID());
        first = target->AddBlockData(block, buffer->overflow, &refresh);
        if (first < 0) {
            if (refresh)
                emit DataChanged(channel, true);
            return;
        }
    }
    emit DataChanged(channel, refresh);

    if (aggregationBlock) {
        target->closed = true;
        refresh = false;
        DecodedTextBlock::MergeIntoAggregation(aggregationBlock, target, this, first, &refresh);
        emit DataChanged(aggregationBlock->channel, refresh);
    }
}

void DecodedTextData::EndTransmission()
{
    // Listeners may add or drop channels while they are told; walk the channels as they were.
    const QVector<QExplicitlySharedDataPointer<DecodedTextBuffer>> current = buffers;
    for (const QExplicitlySharedDataPointer<DecodedTextBuffer>& buffer : current) {
        QExplicitlySharedDataPointer<DecodedTextBlock> block = buffer->LastBlock();
        if (!block || block->closed)
            continue;
        block->closed = true;
        // A closed block is rarely edited again; what its edits learnt is not worth keeping.
        block->ForgetAnnotationsFrom(0);

        if (block->channel == UserChannelID) {
            if (!offline && userDataEnabled)
                ApplyUserChannel();
            buffer->RemoveOldBlocks();
            buffer->GetBlock(GetTickCount(), NextId(block->id));
            emit DataChanged(UserChannelID, true);
        } else if (buffer->channel == AggregationChannelID && offline) {
            // Offline evaluation keeps only a short tail of the merged text, whatever the size.
            buffer->Trim(1000);
            emit DataChanged(AggregationChannelID, true);
        } else {
            emit TransmissionChanged(buffer->channel);
        }
    }
}

int DecodedTextBlock::AddBlockData(DataBlock* block, bool skipText, bool* refresh)
{
    if (!block)
        return -1;
    const QString content = block->GetContent();
    const QVector<TimeStamp>& stamps = block->GetTimeStamp();
    if (content.isEmpty() || stamps.isEmpty() || !AcceptableStamps(content, stamps))
        return -1;

    const int first = stamps.first().Position;
    const qint64 end = EndPosition();
    const qint64 stream = (first != streamPosition && first == end) ? first : streamPosition;
    // The new data continues at the block's end whatever its stream positions are; refuse it when
    // the block positions that this yields would leave the range the model keeps them in. The old
    // end bounds the end after a resend from above, so the check needs no walk.
    const qint64 gap = first > stream ? first - stream : 0;
    const qint64 span = qMax<qint64>(content.size(), stamps.last().Position - first);
    const qint64 reach = skipText ? content.size() : gap + span;
    if (streamPosition < 0 || end + reach > DocumentLimit)
        return -1;

    streamPosition = int(stream);
    if (first < streamPosition) {
        TruncateFrom(int(end - streamPosition + first));
        streamPosition = first;
        if (refresh)
            *refresh = true;
    }

    const int before = snippets.size();
    if (skipText) {
        // The buffer is over its limit while the operator holds it: keep the position space
        // going so that later data still lines up, but do not store the characters.
        const int from = EndPosition();
        AppendGap(from, from + content.size(), QString());
        return before;
    }

    if (first > streamPosition) {
        const int from = EndPosition();
        AppendGap(from, from - streamPosition + first, content);
    }

    contentCode = block->GetContentCode();
    rightToLeft = block->GetContentDirectionRTL();

    const int offset = EndPosition() - first;
    for (int i = 0; i < stamps.size(); ++i) {
        const TimeStamp& stamp = stamps.at(i);
        const int position = stamp.Position + offset;
        if (i > 0) {
            DecodedTextSnippet& open = snippets.last();
            open.end = position;
            open.length = open.end - open.start;
        }
        DecodedTextSnippet run;
        run.start = position;
        run.end = position;
        run.quality = stamp.Quality;
        run.timestamp = stamp.Time;
        snippets.append(run);
    }

    QString padded = content;
    DecodedTextSnippet& last = snippets.last();
    const int contentEnd = content.size() + offset + first;
    if (last.start > contentEnd) {
        padded.append(QString(last.start - contentEnd, QLatin1Char('?')));
        last.end = last.start;
    } else {
        last.end = contentEnd;
    }
    last.length = last.end - last.start;

    text.append(padded);
    streamPosition = padded.size() + first;

    // Annotations delivered with the text must lie inside it and be ordered; others could not be
    // shown or exported and would break the ranges of later edits.
    const QVector<UserData*>& delivered = block->GetUserData();
    if (!delivered.isEmpty()) {
        const qint64 blockEnd = EndPosition();
        QVector<UserData*> accepted;
        accepted.reserve(delivered.size());
        for (UserData* annotation : delivered) {
            if (!annotation)
                continue;
            const qint64 from = qint64(annotation->Start) + offset;
            const qint64 to = qint64(annotation->End) + offset;
            if (from >= 0 && from <= to && to <= blockEnd)
                accepted.append(annotation);
        }
        if (!accepted.isEmpty())
            ImportUserData(accepted, offset);
    }

    changed = true;
    return before;
}
