#pragma once

#include "dtv_export.h"

#include <QExplicitlySharedDataPointer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class DecodedTextBlock;
class DecodedTextChannel;
class DecodedTextData;
class DecodedTextFindBar;
class DecodedTextMatcher;
class DecodedTextModelFeed;
class DecodedTextPaneMarks;
class DecodedTextScanSet;
class DecodedTextView;
class DecodedTextWatch;
class QDateTime;
class QTimer;
class QWidget;

// Finding text across all channels of a view: Ctrl+F opens a bar at the bottom of the view;
// every match in the open panes is highlighted, Enter or F3 and Shift+Enter or Shift+F3 step
// through them in the panes' order, and a closed pane shows in its caption how many it holds.
// The matches are kept up to date as text arrives, searching only what changed. The panes
// also show the watch list's words and, in their captions, the watch hits they had since the
// operator last opened or focused them.
class DTV_EXPORT DecodedTextFinder : public QObject
{
    Q_OBJECT

public:
    // Without a view it only counts the matches of each channel.
    DecodedTextFinder(DecodedTextView* view, DecodedTextData* model, DecodedTextWatch* watch);
    ~DecodedTextFinder() override;

    // The bar is made when it is first opened; null before.
    DecodedTextFindBar* Bar() const;

    // Plain text, anywhere in a word; empty ends the search and its highlights.
    void SetText(const QString& text, bool matchCase);
    QString Text() const;
    bool MatchCase() const;

    // Matches in the open panes, and the 1-based place of the current one among them (0
    // before the first step, or when the current match has gone).
    int Count() const;
    int Current() const;
    // Matches in one channel, open or closed.
    int CountIn(int channel) const;

    // Steps to the next or previous match in the open panes, wrapping around; the match is
    // selected and scrolled into view. False when there is none.
    bool Next();
    bool Previous();

    // What the panes need of the search.
    const DecodedTextMatcher& FindMatcher() const;
    DecodedTextWatch* Watch() const;
    bool IsCurrent(const DecodedTextChannel* pane) const;
    void CurrentMatch(QExplicitlySharedDataPointer<DecodedTextBlock>* block, int* start,
                      int* end) const;
    // A pane's document changed between these blocks without the model saying so.
    void Revisit(int channel, const QList<QExplicitlySharedDataPointer<DecodedTextBlock>>& blocks,
                 bool deep);
    void ScheduleRefresh();

signals:
    // The count or the current place changed (told once per pass of the event loop).
    void CountChanged();

public slots:
    void OpenBar();
    void CloseBar();
    void FindNext();
    void FindPrevious();

private slots:
    void Refresh();
    void WatchHit(int channel, const QString& word, const QDateTime& time);
    void FocusChanged(QWidget* old, QWidget* now);

private:
    class Tracker;
    struct Spot;

    const QList<DecodedTextChannel*>& Panes() const;
    DecodedTextPaneMarks* MarksOf(DecodedTextChannel* pane, bool make);
    bool Step(int direction);
    void RefreshHighlights();

    QPointer<DecodedTextView> view;
    QPointer<DecodedTextData> model;
    // The view's children go in the order they were made: the watch before the finder.
    QPointer<DecodedTextWatch> watch;
    QString text;
    bool matchCase = false;
    QList<int> channels;
    std::unique_ptr<DecodedTextMatcher> matcher;
    std::unique_ptr<DecodedTextScanSet> scans;
    std::unique_ptr<Tracker> tracker;
    DecodedTextModelFeed* feed = nullptr;
    DecodedTextFindBar* bar = nullptr;
    QTimer* refreshTimer;
    // The current match: its channel, block and positions.
    int currentChannel = -1;
    QExplicitlySharedDataPointer<DecodedTextBlock> currentBlock;
    int currentStart = 0;
    int currentEnd = 0;
    int shownCount = -1;
    int shownCurrent = -1;
    mutable QList<DecodedTextChannel*> panes;
    mutable QList<QPointer<DecodedTextChannel>> paneGuards;
    mutable bool panesKnown = false;
};
