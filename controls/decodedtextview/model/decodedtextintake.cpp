#include "decodedtextdata.h"
#include "errorhandler.h"
#include "varnoresultdataxml.h"

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

const QString SourcePath = QStringLiteral("controls\\decodedtextview\\decodedtextintake");

// Refused input never vanishes silently: the operator's only way to learn why text is missing
// is the host's trace, so every refusal names what was refused and why.
// "<what>data block <id> of channel <channel> <verdict>", e.g. "annotation Comment [8, 6) of
// data block 1 of channel 2 refused: it ends before it starts".
void Trace(const QString& what, int channel, int id, const QString& verdict, unsigned short line)
{
    _Q_Trace(QStringLiteral("AddTransmission: %1data block %2 of channel %3 %4")
                 .arg(what)
                 .arg(id)
                 .arg(channel)
                 .arg(verdict),
             SourcePath, line);
}

void TraceRefusal(int channel, int id, const QString& reason, unsigned short line)
{
    Trace(QString(), channel, id, QStringLiteral("refused: ") + reason, line);
}

QString RefusedChannel(int channel)
{
    // Negative numbers are the skip and scratch markers of the result-data classes, never a
    // channel; beyond the document limit the channel could not be exported again.
    if (channel < 0 || channel > DocumentLimit)
        return QStringLiteral("channel %1 is out of range").arg(channel);
    return QString();
}

// The checks of a data block that do not depend on the block it goes into. A block refused here
// is dropped whole: laying down part of it would either scramble the position space (stamps out
// of order give snippets that end before they start) or leave positions that no later intake or
// export can handle. paddingLimit bounds the question marks that stand in for characters a time
// stamp promises but the content lacks.
QString RefusedStamps(const QString& content, const QVector<TimeStamp>& stamps,
                      qint64 paddingLimit)
{
    if (stamps.isEmpty())
        return QString();
    qint64 previous = 0;
    for (const TimeStamp& stamp : stamps) {
        if (stamp.Position < 0)
            return QStringLiteral("negative stream position %1").arg(stamp.Position);
        if (stamp.Position < previous)
            return QStringLiteral("time stamps out of order (%1 after %2)")
                .arg(stamp.Position)
                .arg(previous);
        if (stamp.Position > DocumentLimit)
            return QStringLiteral("stream position %1 beyond %2").arg(stamp.Position).arg(DocumentLimit);
        previous = stamp.Position;
    }
    const qint64 first = stamps.first().Position;
    const qint64 padding = stamps.last().Position - first - content.size();
    if (padding > paddingLimit)
        return QStringLiteral("%1 characters missing, more than the %2 the channel can hold")
            .arg(padding)
            .arg(paddingLimit);
    if (first + content.size() > DocumentLimit)
        return QStringLiteral("text beyond stream position %1").arg(DocumentLimit);
    return QString();
}

// Next running number of the user and aggregation channels. A decoder may have used the top id
// a document carries: the numbers start over rather than leave what an export can write.
int NextId(int id)
{
    return id >= DocumentLimit ? 1 : id + 1;
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
            if (mapped < 0)
                continue;
            if (mapped == AggregationChannelID) {
                TraceRefusal(source, dataBlock->GetID(),
                             QStringLiteral("mapped onto the aggregation channel"), __LINE__);
                continue;
            }
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
    const QString badChannel = RefusedChannel(channel);
    if (!badChannel.isEmpty()) {
        TraceRefusal(channel, block->GetID(), badChannel, __LINE__);
        return;
    }

    // The operator's channel only needs a block for this transmission; its text is typed here.
    if (channel == UserChannelID) {
        GetChannelData(channel)->GetBlock(timestamp, block->GetID());
        return;
    }
    // Refused before the channel is created or trimmed, so that garbage leaves nothing behind
    // but the trace. More padding than the channel holds would be trimmed away at once.
    const QString content = block->GetContent();
    const QString badStamps = RefusedStamps(content, block->GetTimeStamp(),
                                            qint64(bufferSize) + bufferSize / 10);
    if (!badStamps.isEmpty()) {
        TraceRefusal(channel, block->GetID(), badStamps, __LINE__);
        return;
    }
    // AddBlockData refuses what would carry the block past the document limit. Empty pieces are
    // the decoders' way of saying nothing, unless they carry annotations, which are then lost.
    const bool carriesText = !content.isEmpty() && !block->GetTimeStamp().isEmpty();
    const auto traceBeyondLimit = [&]() {
        if (carriesText)
            TraceRefusal(channel, block->GetID(),
                         QStringLiteral("block positions beyond %1").arg(DocumentLimit), __LINE__);
        else if (!block->GetUserData().isEmpty())
            Trace(QStringLiteral("%1 annotations of ").arg(block->GetUserData().size()), channel,
                  block->GetID(), QStringLiteral("refused: the block carries no text"), __LINE__);
    };

    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = GetChannelData(channel);
    bool refresh = false;

    QExplicitlySharedDataPointer<DecodedTextBlock> target;
    int first = -1;
    // Set when the write changes text the block had, not only its end (a resend).
    bool rewrote = false;
    if (buffer->overflow) {
        if (buffer->hold) {
            if (carriesText)
                Trace(QString(), channel, block->GetID(),
                      QStringLiteral("dropped: the channel is held over its limit"), __LINE__);
            return;
        }
        buffer->overflow = false;
        refresh = true;
        rewrote = true; // what came while held was skipped
        target = buffer->GetBlock(timestamp, block->GetID());
        first = target->AddBlockData(block, false, &rewrote);
        if (first < 0) {
            traceBeyondLimit();
            return;
        }
    } else {
        refresh = buffer->Trim(bufferSize);
        target = buffer->GetBlock(timestamp, block->GetID());
        first = target->AddBlockData(block, buffer->overflow, &rewrote);
        refresh = refresh || rewrote;
        if (first < 0) {
            traceBeyondLimit();
            if (refresh)
                emit DataChanged(channel, true);
            return;
        }
    }
    buffer->NoteWritten(target, rewrote);
    emit DataChanged(channel, refresh);

    if (aggregationBlock) {
        target->closed = true;
        refresh = false;
        // Online nothing else would ever bound the merged channel: it is trimmed as every
        // channel is before its text comes in. Offline the end of the transmission trims it.
        // A block that holds nothing yet would be taken for one emptied by trimming and go.
        const bool known = ChannelExists(aggregationBlock->channel);
        if (!offline && known && !aggregationBlock->snippets.isEmpty()) {
            QExplicitlySharedDataPointer<DecodedTextBuffer> merged =
                GetChannelData(aggregationBlock->channel);
            // Merges are never dropped; a mark left by a hold that has ended is cleared here.
            if (merged->overflow && !merged->hold)
                merged->overflow = false;
            refresh = merged->Trim(bufferSize);
        }
        bool merged = false;
        DecodedTextBlock::MergeIntoAggregation(aggregationBlock, target, this, first, &merged);
        refresh = refresh || merged;
        if (known)
            GetChannelData(aggregationBlock->channel)->NoteWritten(aggregationBlock, merged);
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
    if (content.isEmpty() || stamps.isEmpty() || !RefusedStamps(content, stamps, DocumentLimit).isEmpty())
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

    // Annotations are placed inside the block's text (see ImportUserData); only a reversed
    // range cannot be placed at all.
    const QVector<UserData*>& delivered = block->GetUserData();
    if (!delivered.isEmpty()) {
        for (const UserData* annotation : delivered) {
            if (annotation && annotation->End < annotation->Start)
                Trace(QStringLiteral("annotation %1 [%2, %3) of ")
                          .arg(annotation->Type)
                          .arg(annotation->Start)
                          .arg(annotation->End),
                      block->GetChannel(), block->GetID(),
                      QStringLiteral("refused: it ends before it starts"), __LINE__);
        }
        ImportUserData(delivered, offset);
    }

    changed = true;
    return before;
}
