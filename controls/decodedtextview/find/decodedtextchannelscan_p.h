#pragma once

#include "decodedtextblock.h"

#include <QDateTime>
#include <QExplicitlySharedDataPointer>
#include <QVector>

class DecodedTextBuffer;
class DecodedTextMatcher;

// What one matcher has found in one channel's buffer, kept up to date from what changed since
// the last look, so that new text costs time in proportion to itself. Every snippet searched
// leaves a print (its positions, length and a hash of its characters, time and quality); the
// prints that still agree with the block say how much of it is unchanged. New text extends a
// block at its end, a resend cuts it back and extends it again, and trimming takes whole
// snippets from the front of the oldest block without moving the positions of the rest.
class DecodedTextChannelScan
{
public:
    using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

    struct Match
    {
        int start = 0; // block positions
        int end = 0;
        int word = 0;  // index into the matcher's words
        QDateTime time; // of the snippet that holds the first character
        bool open = false; // whole word at the end of an open block: it may still grow
        bool told = false; // handed on (the watch's mark)
    };

    struct Print
    {
        int start;
        int end;
        int length;
        uint hash;
    };

    struct Entry
    {
        BlockPtr block;
        QVector<Match> matches; // in the order of their ends
        QVector<Print> prints;  // searched snippets, in the order of their positions
        // Told matches whose text a resend took back, with the end of the text they were told
        // from; the watch's business.
        QVector<Match> retracted;
        int retractedUpTo = 0;
    };

    struct Outcome
    {
        Entry* entry = nullptr;
        int fresh = 0;          // index of the first match found by this update
        int scannedBefore = 0;  // position up to which the block had been searched
        QVector<Match> replaced; // matches dropped because text they stood in changed
    };

    DecodedTextChannelScan(int channel, const DecodedTextMatcher* matcher);

    int Channel() const { return channel; }
    int Count() const { return count; }
    QVector<Entry>& Entries() { return entries; }
    const QVector<Entry>& Entries() const { return entries; }
    int IndexOf(const DecodedTextBlock* block) const;

    // Forgets the blocks that left the buffer and the head that trimming took from the first.
    void Prune(const DecodedTextBuffer& buffer);
    // Searches what changed in the block since the last update. Shallow looks for changes from
    // the end back, as intake makes them; deep compares from the front and also finds an edit
    // inside the text that left every length as it was.
    // A block met for the first time is put where the buffer has it; inOrder says that the
    // caller goes through the buffer from the front, so it belongs at the end.
    Outcome Update(const DecodedTextBuffer& buffer, const BlockPtr& block, bool deep,
                   bool inOrder = false);

private:
    Entry& EntryFor(const DecodedTextBuffer& buffer, const BlockPtr& block, bool inOrder);
    static int HeadOf(const DecodedTextBlock& block);
    void TrimHead(Entry& entry);
    static bool Holds(const Print& print, const DecodedTextBlock& block, int snippet, int index);
    static Print PrintOf(const DecodedTextBlock& block, int snippet, int index);

    int channel;
    const DecodedTextMatcher* matcher;
    QVector<Entry> entries; // in the order of the buffer's blocks
    int count = 0;
};
