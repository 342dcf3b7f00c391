#pragma once

#include "decodedtextchannelscan_p.h"

#include <QList>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>

class DecodedTextData;
class DecodedTextMatcher;

// One matcher's scans of every channel it follows, in channel order (the order of the panes),
// brought up to date from the model's announcements.
class DecodedTextScanSet
{
public:
    using Visit = std::function<void(int channel, DecodedTextChannelScan::Outcome& outcome)>;
    // Blocks the scans leave alone.
    using Skip = std::function<bool(int channel, const DecodedTextBlock& block)>;

    DecodedTextScanSet(DecodedTextData* model, const DecodedTextMatcher* matcher, Skip skip);

    // A block of the aggregation channel made of runs merged from the decoder channels. The
    // merge puts runs anywhere into it and refills a resent run in place, so such a block is
    // compared from its front on every update: the search still starts only where it changed.
    static bool Merged(int channel, const DecodedTextBlock& block);

    void Clear();
    // Starts following a channel the model has just made: nothing in it is searched yet.
    void Announce(int channel);
    // Searches all text of the channels afresh.
    void Build(const QList<int>& channels, const Visit& visit);
    // After the model's DataChanged: what the buffer dropped is forgotten, and the block the
    // intake wrote into (with refresh also the newest) is searched where it changed.
    void Changed(int channel, bool refresh, const Visit& visit);
    // The blocks shown between two document positions of a pane changed without intake.
    void Revisit(int channel, const QList<DecodedTextChannelScan::BlockPtr>& blocks, bool deep,
                 const Visit& visit);

    DecodedTextChannelScan* Scan(int channel) const;
    const std::map<int, std::unique_ptr<DecodedTextChannelScan>>& Scans() const { return scans; }

private:
    void Update(DecodedTextChannelScan& scan, const DecodedTextBuffer& buffer,
                const DecodedTextChannelScan::BlockPtr& block, bool deep, const Visit& visit,
                bool inOrder = false);

    QPointer<DecodedTextData> model;
    const DecodedTextMatcher* matcher;
    Skip skip;
    std::map<int, std::unique_ptr<DecodedTextChannelScan>> scans;
};
