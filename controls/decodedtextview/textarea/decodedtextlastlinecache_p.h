#pragma once

#include <QTextCursor>

class QTextDocument;

// Keeps the shaped text of a document's last line, when that line is long, from its layout to
// the cursor and the paint that follow. A line's layout throws its shaping away once its lines
// are made, and so does each paint, so placing the cursor at the end and painting the line
// shaped it all over again; for one long paragraph that every append or merge changes, that
// cost as much as laying it out. Only the last line keeps it: a line that kept it and is last
// no more is laid out once more without it, so at most one line holds its shaping.
class DecodedTextLastLineCache
{
public:
    // Lines shorter than this are shaped again in no time worth keeping memory for.
    static constexpr int LongLine = 256;

    // After a change of the document, outside an edit block: its last line keeps its shaping
    // from its next layout on, if it is long; the line that kept it before lets it go.
    void Follow(QTextDocument* document);

private:
    // At the start of the line that keeps its shaping; edits move it along with the line.
    QTextCursor holder;
};
