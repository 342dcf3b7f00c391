#pragma once

#include "decodedtextblock.h"

#include <QExplicitlySharedDataPointer>
#include <QList>
#include <QString>
#include <QVector>

#include <array>

// What the text area knows about the blocks its document shows, so that routine intake (a
// transmission appended, its end, the oldest block trimmed away) can touch only the lines
// that changed. Whenever something happened that this record cannot account for, it says so,
// and the text area rebuilds or re-highlights the whole document as before.
class DecodedTextShownBlocks
{
public:
    using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

    // The parts of a block that intake and trimming change.
    struct Shape
    {
        int snippets = 0;
        int textSize = 0;
        int startPosition = 0;
        int endPosition = 0;
        int firstEnd = 0;
        int firstLength = 0;
        int firstFlags = 0;
        bool operator==(const Shape& other) const;
        bool operator!=(const Shape& other) const { return !(*this == other); }
    };

    struct Entry
    {
        BlockPtr block;
        Shape shape;          // when its text was last appended
        int shownLength = 0;  // characters of its text the document shows
        bool quality = false; // inserted snippet by snippet in quality colours
        bool canonical = true; // its lines are what one append of the whole block would give
        bool hasLines = false;
    };

    static Shape ShapeOf(const DecodedTextBlock& block);

    // Starts over for a document rebuilt from the buffer.
    void Reset();
    // Something changed that is not known here: next time rebuild and re-highlight everything.
    void Invalidate();

    // Book-keeping of one AppendBlock: whether it opened a new entry, how many characters it
    // inserted (-1 for none) and in which colouring, and whether the continued line keeps the
    // snippet index that one append of the whole block would give it.
    void Appended(const BlockPtr& block, int inserted, bool quality, bool lineAsWhole);
    void MarkStale(const BlockPtr& block);
    // Entries [0, count) whose lines left the document.
    void DropFront(int count);
    void DropLast();
    // The first entry's block lost text at its front; the document now shows shownLength
    // characters of it.
    void CutFront(int shownLength);
    // The last entry's lines were cut back to its first shownLength characters.
    void CutBack(int shownLength);
    // Closed blocks keep their highlighting once it was renewed.
    void ForgetClosed();
    bool IsSafe(const Entry& entry) const { return entry.canonical && entry.hasLines; }

    bool valid = false;    // the document is what a rebuild would make of the entries' blocks
    bool staleAll = true;  // some line's highlighting may be outdated, no one knows which
    int unsafe = 0;        // entries that are not IsSafe
    QList<Entry> entries;  // one per block shown, in document order
    QVector<BlockPtr> stale; // blocks with lines whose highlighting may be outdated
    BlockPtr newest;       // the buffer's newest block when last looked at
    BlockPtr first;        // the buffer's oldest block then, and its number of annotations
    quint64 writes = 0;    // the buffer's count of writes then
    int firstAnnotations = 0;
    bool firstStale = false; // the oldest block's lines need highlighting anew

    // An annotation as the highlighter draws it: from start to end, at least one character.
    struct Mark
    {
        qint64 start = 0;
        qint64 end = 0;
        QString type;
    };
    static QVector<Mark> MarksOf(const DecodedTextBlock& block);
    // Whether the annotations a and b, in order, draw the same in front of block position end.
    static bool SameMarksBefore(const QVector<Mark>& a, const QVector<Mark>& b, qint64 end);

    // The newest block's lines were all found to show the highlighting of these annotations
    // when the highlighter's count of lines highlighted was markedHighlights; lines it has not
    // highlighted since show it still.
    BlockPtr markedBlock;
    QVector<Mark> marks;
    quint64 markedHighlights = 0;
    bool markedClosed = false;

    // The newest block as it was when all of its lines were last found to be what a rebuild
    // makes of them, at the document's revision then, so that a later write into its middle
    // need not have the lines in front of what it changed compared again.
    void NoteChecked(const BlockPtr& block, int revision, int threshold, bool quality);
    // The index into block's text in front of which its lines are still as checked: the start
    // of the last run with text before the first run that changed or holds changed text; 0 when
    // nothing is known. textStart holds the index of every run's first character and the
    // text's size.
    int CheckedUpTo(const BlockPtr& block, const QVector<int>& textStart, int revision,
                    int threshold, bool quality) const;

private:
    // What of a run decides the lines that show it: its length, place, shift, quality and flags.
    using Run = std::array<int, 6>;
    static Run RunOf(const DecodedTextSnippet& snippet);

    BlockPtr checkedBlock;
    QString checkedText;
    QVector<Run> checkedRuns;
    int checkedRevision = -1;
    int checkedThreshold = 0;
    bool checkedQuality = false;
};
