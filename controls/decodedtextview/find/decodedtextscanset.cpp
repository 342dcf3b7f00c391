#include "decodedtextscanset_p.h"

#include "decodedtextdata.h"

DecodedTextScanSet::DecodedTextScanSet(DecodedTextData* model, const DecodedTextMatcher* matcher,
                                       Skip skip)
    : model(model), matcher(matcher), skip(std::move(skip))
{
}

bool DecodedTextScanSet::Merged(int channel, const DecodedTextBlock& block)
{
    if (channel != DecodedTextData::AggregationChannelID)
        return false;
    for (const DecodedTextSnippet& snippet : block.snippets) {
        if (!(snippet.flags & SnippetGap))
            return snippet.sourceChannel != 0;
    }
    return false;
}

void DecodedTextScanSet::Clear()
{
    scans.clear();
}

void DecodedTextScanSet::Announce(int channel)
{
    // A channel announced again has a new, empty buffer (the model was cleared meanwhile).
    scans[channel].reset(new DecodedTextChannelScan(channel, matcher));
}

void DecodedTextScanSet::Build(const QList<int>& channels, const Visit& visit)
{
    scans.clear();
    if (!model)
        return;
    for (int channel : channels) {
        if (!model->ChannelExists(channel))
            continue;
        auto& scan = scans[channel];
        scan.reset(new DecodedTextChannelScan(channel, matcher));
        const QExplicitlySharedDataPointer<DecodedTextBuffer> buffer =
            model->GetChannelData(channel);
        for (const DecodedTextChannelScan::BlockPtr& block : buffer->blocks)
            Update(*scan, *buffer, block, false, visit, true);
    }
}

void DecodedTextScanSet::Changed(int channel, bool refresh, const Visit& visit)
{
    if (!model || !model->ChannelExists(channel))
        return;
    auto it = scans.find(channel);
    if (it == scans.end())
        return;
    DecodedTextChannelScan& scan = *it->second;
    const QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    if (refresh)
        scan.Prune(*buffer);
    const DecodedTextChannelScan::BlockPtr last = buffer->LastBlock();
    DecodedTextChannelScan::BlockPtr written = buffer->LastWritten();
    // The block written last may have left the buffer since (the user channel's old blocks
    // go at the end of a transmission); the scans keep only blocks the buffer holds.
    if (written && written != last && !buffer->blocks.contains(written))
        written.reset();
    if (written)
        Update(scan, *buffer, written, false, visit);
    if (last && (refresh || !written) && last != written)
        Update(scan, *buffer, last, false, visit);
}

void DecodedTextScanSet::Revisit(int channel,
                                 const QList<DecodedTextChannelScan::BlockPtr>& blocks, bool deep,
                                 const Visit& visit)
{
    if (!model || !model->ChannelExists(channel))
        return;
    auto it = scans.find(channel);
    if (it == scans.end())
        return;
    const QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    it->second->Prune(*buffer);
    for (const DecodedTextChannelScan::BlockPtr& block : blocks) {
        if (block && buffer->blocks.contains(block))
            Update(*it->second, *buffer, block, deep, visit);
    }
}

DecodedTextChannelScan* DecodedTextScanSet::Scan(int channel) const
{
    auto it = scans.find(channel);
    return it == scans.end() ? nullptr : it->second.get();
}

void DecodedTextScanSet::Update(DecodedTextChannelScan& scan, const DecodedTextBuffer& buffer,
                                const DecodedTextChannelScan::BlockPtr& block, bool deep,
                                const Visit& visit, bool inOrder)
{
    if (skip && skip(scan.Channel(), *block))
        return;
    DecodedTextChannelScan::Outcome outcome =
        scan.Update(buffer, block, deep || Merged(scan.Channel(), *block), inOrder);
    if (visit)
        visit(scan.Channel(), outcome);
}
