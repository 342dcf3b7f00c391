#include "decodedtextfinder.h"

#include "decodedtextchannel.h"
#include "decodedtextdata.h"
#include "decodedtextfindbar.h"
#include "decodedtextmatcher_p.h"
#include "decodedtextmodelfeed_p.h"
#include "decodedtextpanemarks_p.h"
#include "decodedtextscanset_p.h"
#include "decodedtextview.h"
#include "decodedtextwatch.h"

#include <QApplication>
#include <QBoxLayout>
#include <QKeySequence>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

using Scan = DecodedTextChannelScan;

class DecodedTextFinder::Tracker : public DecodedTextModelFeed::Listener
{
public:
    explicit Tracker(DecodedTextFinder* finder) : finder(finder) {}

    void ChannelChanged(int channel, bool refresh) override
    {
        if (finder->matcher->IsEmpty())
            return;
        finder->scans->Changed(channel, refresh, nullptr);
        finder->ScheduleRefresh();
    }
    void ChannelClosed(int) override {}
    void ChannelAnnounced(int channel) override
    {
        if (!finder->channels.contains(channel))
            finder->channels.append(channel);
        if (!finder->matcher->IsEmpty())
            finder->scans->Announce(channel);
        finder->panesKnown = false;
        finder->RefreshHighlights();
    }
    void ChannelAnnotated(int channel) override
    {
        // A change annotation may have replaced text of the same length anywhere in the channel.
        if (finder->matcher->IsEmpty() || !finder->model || !finder->model->ChannelExists(channel))
            return;
        finder->Revisit(channel, finder->model->GetChannelData(channel)->blocks, true);
    }

private:
    DecodedTextFinder* finder;
};

// A match's place in the order of the open panes.
struct DecodedTextFinder::Spot
{
    int pane;
    int entry;
    int match;
};

DecodedTextFinder::DecodedTextFinder(DecodedTextView* view, DecodedTextData* model,
                                     DecodedTextWatch* watch)
    : QObject(view)
    , view(view)
    , model(model)
    , watch(watch)
    , matcher(new DecodedTextMatcher)
    , tracker(new Tracker(this))
    , refreshTimer(new QTimer(this))
{
    scans.reset(new DecodedTextScanSet(model, matcher.get(), nullptr));
    feed = new DecodedTextModelFeed(model, tracker.get(), this);
    refreshTimer->setSingleShot(true);
    refreshTimer->setInterval(0);
    connect(refreshTimer, SIGNAL(timeout()), this, SLOT(Refresh()));
    if (watch) {
        connect(watch, SIGNAL(Hit(int, const QString&, const QDateTime&)), this,
                SLOT(WatchHit(int, const QString&, const QDateTime&)));
        watch->SetChangeHandler([this] { RefreshHighlights(); });
    }
    if (!view)
        return;
    connect(qApp, SIGNAL(focusChanged(QWidget*, QWidget*)), this,
            SLOT(FocusChanged(QWidget*, QWidget*)));

    // Anywhere in the view, also inside a text area or the bar itself. A host that binds the
    // same keys for its whole window makes them ambiguous, and then neither acts.
    auto shortcut = [view, this](const QKeySequence& keys, const char* slot) {
        auto* s = new QShortcut(keys, view);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        connect(s, SIGNAL(activated()), this, slot);
    };
    shortcut(QKeySequence::Find, SLOT(OpenBar()));
    shortcut(QKeySequence(Qt::Key_F3), SLOT(FindNext()));
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), SLOT(FindPrevious()));
}

DecodedTextFinder::~DecodedTextFinder()
{
    delete feed;
    if (watch)
        watch->SetChangeHandler(nullptr);
}

DecodedTextFindBar* DecodedTextFinder::Bar() const
{
    return bar;
}

void DecodedTextFinder::OpenBar()
{
    if (!view)
        return;
    if (!bar) {
        bar = new DecodedTextFindBar(this, view);
        if (auto* box = qobject_cast<QBoxLayout*>(view->layout()))
            box->addWidget(bar);
    }
    bar->Open();
}

void DecodedTextFinder::CloseBar()
{
    if (bar)
        bar->hide();
    SetText(QString(), matchCase);
}

void DecodedTextFinder::FindNext()
{
    if (!bar || bar->isHidden())
        OpenBar();
    Next();
}

void DecodedTextFinder::FindPrevious()
{
    if (!bar || bar->isHidden())
        OpenBar();
    Previous();
}

void DecodedTextFinder::SetText(const QString& newText, bool newMatchCase)
{
    if (newText == text && newMatchCase == matchCase)
        return;
    text = newText;
    matchCase = newMatchCase;
    matcher->SetNeedle(text, matchCase);
    currentChannel = -1;
    currentBlock.reset();
    if (matcher->IsEmpty())
        scans->Clear();
    else
        scans->Build(channels, nullptr);
    RefreshHighlights();
}

QString DecodedTextFinder::Text() const
{
    return text;
}

bool DecodedTextFinder::MatchCase() const
{
    return matchCase;
}

const QList<DecodedTextChannel*>& DecodedTextFinder::Panes() const
{
    // Looked up again after a channel was announced or a pane went.
    if (panesKnown && !paneGuards.contains(nullptr))
        return panes;
    panes.clear();
    paneGuards.clear();
    if (view)
        panes = view->findChildren<DecodedTextChannel*>();
    // The view keeps its panes in ascending channel order, which is the splitter's order.
    std::sort(panes.begin(), panes.end(), [](DecodedTextChannel* a, DecodedTextChannel* b) {
        return a->GetChannel() < b->GetChannel();
    });
    for (DecodedTextChannel* pane : qAsConst(panes))
        paneGuards.append(pane);
    panesKnown = true;
    return panes;
}

int DecodedTextFinder::CountIn(int channel) const
{
    const Scan* scan = scans->Scan(channel);
    return scan ? scan->Count() : 0;
}

int DecodedTextFinder::Count() const
{
    int count = 0;
    for (DecodedTextChannel* pane : Panes()) {
        if (pane->IsExpanded())
            count += CountIn(pane->GetChannel());
    }
    return count;
}

int DecodedTextFinder::Current() const
{
    if (!currentBlock)
        return 0;
    int before = 0;
    for (DecodedTextChannel* pane : Panes()) {
        if (!pane->IsExpanded())
            continue;
        if (pane->GetChannel() != currentChannel) {
            before += CountIn(pane->GetChannel());
            continue;
        }
        const Scan* scan = scans->Scan(currentChannel);
        const int entry = scan ? scan->IndexOf(currentBlock.data()) : -1;
        if (entry < 0)
            return 0;
        for (int e = 0; e < entry; ++e)
            before += scan->Entries().at(e).matches.size();
        const QVector<Scan::Match>& matches = scan->Entries().at(entry).matches;
        for (int m = 0; m < matches.size(); ++m) {
            if (matches.at(m).start == currentStart && matches.at(m).end == currentEnd)
                return before + m + 1;
        }
        return 0;
    }
    return 0;
}

bool DecodedTextFinder::Next()
{
    return Step(1);
}

bool DecodedTextFinder::Previous()
{
    return Step(-1);
}

bool DecodedTextFinder::Step(int direction)
{
    // Every match of the open panes in order; a user's step may well afford the list.
    QList<DecodedTextChannel*> open;
    for (DecodedTextChannel* pane : Panes()) {
        if (pane->IsExpanded() && CountIn(pane->GetChannel()) > 0)
            open.append(pane);
    }
    QVector<Spot> spots;
    for (int p = 0; p < open.size(); ++p) {
        const Scan* scan = scans->Scan(open.at(p)->GetChannel());
        for (int e = 0; e < scan->Entries().size(); ++e) {
            for (int m = 0; m < scan->Entries().at(e).matches.size(); ++m)
                spots.append({ p, e, m });
        }
    }
    if (spots.isEmpty())
        return false;

    // Where the current match is, or would be if it has gone: the first spot not before it.
    int at = direction > 0 ? -1 : spots.size();
    bool exact = false;
    int pane = -1;
    for (int p = 0; p < open.size(); ++p) {
        if (open.at(p)->GetChannel() == currentChannel)
            pane = p;
    }
    if (currentBlock && pane >= 0) {
        const Scan* scan = scans->Scan(currentChannel);
        const int entry = scan->IndexOf(currentBlock.data());
        auto before = [&](const Spot& s) {
            if (s.pane != pane)
                return s.pane < pane;
            if (s.entry != entry)
                return s.entry < entry;
            const Scan::Match& m = scan->Entries().at(s.entry).matches.at(s.match);
            return m.start < currentStart || (m.start == currentStart && m.end < currentEnd);
        };
        at = int(std::partition_point(spots.begin(), spots.end(), before) - spots.begin());
        if (at < spots.size() && spots.at(at).pane == pane && spots.at(at).entry == entry) {
            const Scan::Match& m =
                scan->Entries().at(entry).matches.at(spots.at(at).match);
            exact = m.start == currentStart && m.end == currentEnd;
        }
        if (direction < 0 || exact)
            at += direction;
    } else if (direction > 0) {
        at = 0;
    } else {
        at = spots.size() - 1;
    }
    at = (at % spots.size() + spots.size()) % spots.size();

    const Spot& spot = spots.at(at);
    DecodedTextChannel* target = open.at(spot.pane);
    const Scan::Entry& entry = scans->Scan(target->GetChannel())->Entries().at(spot.entry);
    const Scan::Match& match = entry.matches.at(spot.match);
    currentChannel = target->GetChannel();
    currentBlock = entry.block;
    currentStart = match.start;
    currentEnd = match.end;
    for (DecodedTextChannel* pane : Panes()) {
        if (DecodedTextPaneMarks* marks = MarksOf(pane, pane == target))
            marks->CurrentChanged(pane == target);
    }
    ScheduleRefresh();
    return true;
}

const DecodedTextMatcher& DecodedTextFinder::FindMatcher() const
{
    return *matcher;
}

DecodedTextWatch* DecodedTextFinder::Watch() const
{
    return watch;
}

bool DecodedTextFinder::IsCurrent(const DecodedTextChannel* pane) const
{
    return currentBlock && pane && pane->GetChannel() == currentChannel;
}

void DecodedTextFinder::CurrentMatch(QExplicitlySharedDataPointer<DecodedTextBlock>* block,
                                     int* start, int* end) const
{
    *block = currentBlock;
    *start = currentStart;
    *end = currentEnd;
}

void DecodedTextFinder::Revisit(int channel,
                                const QList<QExplicitlySharedDataPointer<DecodedTextBlock>>& blocks,
                                bool deep)
{
    if (matcher->IsEmpty())
        return;
    scans->Revisit(channel, blocks, deep, nullptr);
    ScheduleRefresh();
}

void DecodedTextFinder::ScheduleRefresh()
{
    if (!refreshTimer->isActive())
        refreshTimer->start();
}

DecodedTextPaneMarks* DecodedTextFinder::MarksOf(DecodedTextChannel* pane, bool make)
{
    DecodedTextPaneMarks* marks = DecodedTextPaneMarks::Of(pane);
    if (!marks && make)
        marks = new DecodedTextPaneMarks(pane, this);
    return marks;
}

void DecodedTextFinder::RefreshHighlights()
{
    const bool active = !matcher->IsEmpty() || (watch && !watch->Matcher().IsEmpty());
    for (DecodedTextChannel* pane : Panes()) {
        if (DecodedTextPaneMarks* marks = MarksOf(pane, active))
            marks->Schedule();
    }
    ScheduleRefresh();
}

void DecodedTextFinder::Refresh()
{
    const bool finding = !matcher->IsEmpty();
    const bool watching = watch && !watch->Matcher().IsEmpty();
    for (DecodedTextChannel* pane : Panes()) {
        DecodedTextPaneMarks* marks = MarksOf(pane, finding || watching);
        if (marks)
            marks->ShowFound(finding && !pane->IsExpanded() ? CountIn(pane->GetChannel()) : 0);
    }
    const int count = Count();
    const int current = Current();
    if (count != shownCount || current != shownCurrent) {
        shownCount = count;
        shownCurrent = current;
        emit CountChanged();
    }
}

void DecodedTextFinder::WatchHit(int channel, const QString& word, const QDateTime& time)
{
    Q_UNUSED(word)
    Q_UNUSED(time)
    for (DecodedTextChannel* pane : Panes()) {
        if (pane->GetChannel() == channel)
            MarksOf(pane, true)->AddHit();
    }
}

void DecodedTextFinder::FocusChanged(QWidget* old, QWidget* now)
{
    Q_UNUSED(old)
    for (QWidget* w = now; w; w = w->parentWidget()) {
        if (auto* pane = qobject_cast<DecodedTextChannel*>(w)) {
            if (DecodedTextPaneMarks* marks = MarksOf(pane, false))
                marks->ResetHits();
            return;
        }
        if (w == view)
            return;
    }
}
