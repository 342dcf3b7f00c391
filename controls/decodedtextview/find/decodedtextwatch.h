#pragma once

#include "dtv_export.h"

#include <QDateTime>
#include <QExplicitlySharedDataPointer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class DecodedTextBlock;
class DecodedTextData;
class DecodedTextMatcher;
class DecodedTextModelFeed;
class DecodedTextScanSet;

// The watch list: words and call signs the operator wants to be told about the moment they
// arrive in any channel, open or closed. Matching is plain text, whole words, in any case.
// Each occurrence is told once through Hit, with the receive time of its first character.
// An occurrence is a word at its place in a block. A word that ends where the text so far
// ends is told once the next character shows it complete, or when the block is closed. When
// a decoder sends text again from an earlier place, the words told in the stretch it replaces
// are held back: the same word coming again in the resent stretch (up to where the old text
// ended, give or take a few characters) is the same occurrence and is not told again.
// Text that the aggregation channel merges from the decoder channels is told there, not once
// more for channel 0, and the operator's own typing in the user channel is not watched. Text
// the channels held before a word was added is not told; a call sign the model learns while
// "known call signs" are watched counts from the text that arrives with or after it.
class DTV_EXPORT DecodedTextWatch : public QObject
{
    Q_OBJECT

public:
    explicit DecodedTextWatch(DecodedTextData* model, QObject* parent = nullptr);
    ~DecodedTextWatch() override;

    // Blank entries and repeats that differ only in case are dropped; Words() gives what is kept.
    void SetWords(const QStringList& words);
    QStringList Words() const;
    // Every call sign in the model's list is a watch word of its own while this is set.
    void SetWatchCallSigns(bool watch);
    bool WatchCallSigns() const;

    // The list lives in the application configuration's group "DecodedTextWatch"; it is
    // written only after it changed.
    void LoadSettings();
    void SaveSettings();

    // What the view's panes highlight: the words and, when watched, the call signs.
    const DecodedTextMatcher& Matcher() const;
    // Called after the matcher changed (the view repaints its highlights).
    void SetChangeHandler(const std::function<void()>& handler);

signals:
    void Hit(int channel, const QString& word, const QDateTime& time);

private:
    class Tracker;
    struct Told;

    bool Following() const;
    void Changed(int channel, bool refresh);
    void ConfirmClosed();
    void Rebuild(const QHash<const DecodedTextBlock*, int>* seen = nullptr);
    void Flush();

    QPointer<DecodedTextData> model;
    QStringList words;
    bool callSigns = false;
    bool dirty = false;
    int callSignCount = -1;
    QList<int> channels; // as the model announced them
    std::unique_ptr<DecodedTextMatcher> matcher;
    std::unique_ptr<DecodedTextScanSet> scans;
    std::unique_ptr<Tracker> tracker;
    DecodedTextModelFeed* feed;
    std::function<void()> changed;
    QList<QPair<int, QExplicitlySharedDataPointer<DecodedTextBlock>>> openBlocks;
    QList<Told> told; // waiting to be handed on once the scans are consistent again
};
