#include "decodedtextwatch.h"

#include "cfgcenter.h"
#include "decodedtextdata.h"
#include "decodedtextmatcher_p.h"
#include "decodedtextmodelfeed_p.h"
#include "decodedtextscanset_p.h"

#include <QHash>

#include <climits>

namespace {
const char* const GroupName = "DecodedTextWatch";
const char* const WordsKey = "Words";
const char* const CallSignsKey = "KnownCallSigns";
// How far past the end of text a resend took back a word may stand when the resend brings
// it again: the resent text may have grown by a few characters.
const int ResendSlack = 16;

using Scan = DecodedTextChannelScan;

std::unique_ptr<ICfg> OpenWatchCfg()
{
    ICfg& appCfg = CfgCenter::GetAppCfg(ICfg::AppView);
    return std::unique_ptr<ICfg>(appCfg.OpenSubCfg(QString::fromLatin1(GroupName), 0));
}

}

namespace {
// Marks the match told; answers whether it is news, not a word that a resend took back and
// brought again.
bool MarkTold(Scan::Entry& entry, Scan::Match& match)
{
    match.told = true;
    match.open = false;
    for (int r = 0; r < entry.retracted.size(); ++r) {
        if (entry.retracted.at(r).word == match.word
            && match.start < entry.retractedUpTo + ResendSlack) {
            entry.retracted.removeAt(r);
            return false;
        }
    }
    return true;
}
}

namespace {
// A block whose text ends in a word that may still grow is looked at again when it closes.
void NoteOpen(QList<QPair<int, Scan::BlockPtr>>& openBlocks, int channel, const Scan::Entry& entry)
{
    if (!entry.matches.isEmpty() && entry.matches.last().open) {
        const auto open = qMakePair(channel, entry.block);
        if (!openBlocks.contains(open))
            openBlocks.append(open);
    }
}
}

struct DecodedTextWatch::Told
{
    int channel;
    QString word;
    QDateTime time;
};

class DecodedTextWatch::Tracker : public DecodedTextModelFeed::Listener
{
public:
    explicit Tracker(DecodedTextWatch* watch) : watch(watch) {}

    void ChannelChanged(int channel, bool refresh) override { watch->Changed(channel, refresh); }
    void ChannelClosed(int) override
    {
        watch->ConfirmClosed();
        watch->Flush();
    }
    void ChannelAnnounced(int channel) override
    {
        if (!watch->channels.contains(channel))
            watch->channels.append(channel);
        if (watch->Following())
            watch->scans->Announce(channel);
    }

private:
    DecodedTextWatch* watch;
};

DecodedTextWatch::DecodedTextWatch(DecodedTextData* model, QObject* parent)
    : QObject(parent)
    , model(model)
    , matcher(new DecodedTextMatcher)
    , tracker(new Tracker(this))
    , feed(nullptr)
{
    // The aggregation channel's merged text came from the decoder channels, where it is told;
    // what the operator types is not news to the operator.
    auto skip = [](int channel, const DecodedTextBlock& block) {
        return channel == DecodedTextData::UserChannelID
            || DecodedTextScanSet::Merged(channel, block);
    };
    scans.reset(new DecodedTextScanSet(model, matcher.get(), skip));
    if (model)
        feed = new DecodedTextModelFeed(model, tracker.get(), this);
}

DecodedTextWatch::~DecodedTextWatch()
{
    // The feed calls the tracker; it goes first.
    delete feed;
}

void DecodedTextWatch::SetWords(const QStringList& list)
{
    const QStringList clean = DecodedTextMatcher::CleanWords(list);
    if (clean == words)
        return;
    words = clean;
    dirty = true;
    Rebuild();
}

QStringList DecodedTextWatch::Words() const
{
    return words;
}

void DecodedTextWatch::SetWatchCallSigns(bool watch)
{
    if (watch == callSigns)
        return;
    callSigns = watch;
    dirty = true;
    Rebuild();
}

bool DecodedTextWatch::WatchCallSigns() const
{
    return callSigns;
}

void DecodedTextWatch::LoadSettings()
{
    std::unique_ptr<ICfg> cfg = OpenWatchCfg();
    if (!cfg)
        return;
    const QString stored = cfg->ReadString(QString::fromLatin1(WordsKey),
                                           words.join(QLatin1Char('\n')), 0);
    const int known = cfg->ReadInt(QString::fromLatin1(CallSignsKey), callSigns ? 1 : 0, 0);
    words = DecodedTextMatcher::CleanWords(stored.split(QLatin1Char('\n')));
    callSigns = known != 0;
    dirty = false;
    Rebuild();
}

void DecodedTextWatch::SaveSettings()
{
    if (!dirty)
        return;
    dirty = false;
    std::unique_ptr<ICfg> cfg = OpenWatchCfg();
    if (!cfg)
        return;
    cfg->WriteString(QString::fromLatin1(WordsKey), words.join(QLatin1Char('\n')), 0);
    cfg->WriteInt(QString::fromLatin1(CallSignsKey), callSigns ? 1 : 0, 0);
}

const DecodedTextMatcher& DecodedTextWatch::Matcher() const
{
    return *matcher;
}

void DecodedTextWatch::SetChangeHandler(const std::function<void()>& handler)
{
    changed = handler;
}

bool DecodedTextWatch::Following() const
{
    // With call signs watched the channels are followed even while the model knows none, so
    // that the first one defined is looked for in text that arrives after it.
    return !matcher->IsEmpty() || callSigns;
}

void DecodedTextWatch::Rebuild(const QHash<const DecodedTextBlock*, int>* seen)
{
    QStringList all = words;
    callSignCount = -1;
    if (callSigns && model) {
        const QStringList signs = model->GetCallSigns();
        callSignCount = signs.size();
        all += signs;
    }
    matcher->SetWords(all);
    openBlocks.clear();
    if (!Following()) {
        scans->Clear();
    } else {
        // What the channels hold has arrived before and is not told, except what lies
        // behind the place the scans had reached when they were seen last.
        scans->Build(channels, [this, seen](int channel, Scan::Outcome& outcome) {
            Scan::Entry& entry = *outcome.entry;
            const int before = seen ? seen->value(entry.block.data(), 0) : INT_MAX;
            for (Scan::Match& match : entry.matches) {
                if (match.end <= before)
                    match.told = true;
                else if (!match.open && MarkTold(entry, match))
                    told.append({ channel, matcher->Words().at(match.word), match.time });
            }
            NoteOpen(openBlocks, channel, entry);
        });
    }
    if (changed)
        changed();
}

void DecodedTextWatch::Changed(int channel, bool refresh)
{
    if (!Following() || channel == DecodedTextData::UserChannelID)
        return;
    if (callSigns && model && model->GetCallSigns().size() != callSignCount) {
        // A call sign was defined since the last look: everything is searched again with it,
        // and what arrived since the scans last looked is news.
        QHash<const DecodedTextBlock*, int> seen;
        for (const auto& scan : scans->Scans()) {
            for (const Scan::Entry& entry : scan.second->Entries())
                seen.insert(entry.block.data(),
                            entry.prints.isEmpty() ? 0 : entry.prints.last().end);
        }
        Rebuild(&seen);
        Flush();
        return;
    }
    scans->Changed(channel, refresh, [this](int channel, Scan::Outcome& outcome) {
        Scan::Entry& entry = *outcome.entry;
        for (const Scan::Match& match : qAsConst(outcome.replaced)) {
            if (match.told) {
                entry.retracted.append(match);
                entry.retractedUpTo = qMax(entry.retractedUpTo, outcome.scannedBefore);
            }
        }
        for (int i = outcome.fresh; i < entry.matches.size(); ++i) {
            Scan::Match& match = entry.matches[i];
            if (!match.open && !match.told && MarkTold(entry, match))
                told.append({ channel, matcher->Words().at(match.word), match.time });
        }
        const int scanned = entry.prints.isEmpty() ? 0 : entry.prints.last().end;
        if (scanned > entry.retractedUpTo + ResendSlack)
            entry.retracted.clear();
        NoteOpen(openBlocks, channel, entry);
    });
    ConfirmClosed();
    Flush();
}

void DecodedTextWatch::ConfirmClosed()
{
    // A word at the very end of a block's text is whole once the block is closed.
    for (int i = openBlocks.size() - 1; i >= 0; --i) {
        const auto& open = openBlocks.at(i);
        if (!open.second->closed)
            continue;
        Scan* scan = scans->Scan(open.first);
        const int index = scan ? scan->IndexOf(open.second.data()) : -1;
        if (index >= 0) {
            Scan::Entry& entry = scan->Entries()[index];
            for (Scan::Match& match : entry.matches) {
                if (match.open && !match.told && MarkTold(entry, match))
                    told.append({ open.first, matcher->Words().at(match.word), match.time });
            }
        }
        openBlocks.removeAt(i);
    }
}

void DecodedTextWatch::Flush()
{
    // Taken out first: a receiver may change the list or feed the model while it is told.
    QList<Told> out;
    out.swap(told);
    for (const Told& hit : qAsConst(out))
        emit Hit(hit.channel, hit.word, hit.time);
}
