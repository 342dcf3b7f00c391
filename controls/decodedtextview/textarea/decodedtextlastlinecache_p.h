#pragma once

#include <QTextCursor>

class QTextDocument;

// Keeps the shaped text of a document's last line, when that line is long, from its layout to
// the cursor and the paint that follow. A line's layout throws its shaping away once its lines
// are made, and so does each paint, so placing the cursor at the end and painting the line
// shaped it all over again; for one long paragraph that every append or merge changes, that
// cost as much as laying it out. Only the last line keeps it, and a line that was last once
// gives it up and is laid out once more to let it go, so at most one line holds its shaping.
class DecodedTextLastLineCache
{
public:
    // Lines shorter than this are shaped again in no time worth keeping memory for.
    static constexpr int LongLine = 256;

    explicit DecodedTextLastLineCache(QTextDocument* document);

    // After a change of the document: its last line keeps its shaping from its next layout on,
    // if it is long; the line that kept it before lets it go.
    void Follow();

private:
    QTextDocument* document;
    // At the start of the line that keeps its shaping; edits move it along with the line.
    QTextCursor holder;
};
