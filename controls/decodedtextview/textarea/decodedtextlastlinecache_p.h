#pragma once

#include <QTextCursor>

class QTextDocument;
class QTextLayout;

// Keeps the shaped text of a document's last line from one layout to the next use. A layout
// throws its shaping away once its lines are made, so placing the cursor at the end and
// painting the line shaped it all over again, which for one long paragraph that every append
// and merge changes cost as much as laying it out. Only the last line keeps it: painted lines
// keep their shaping anyway, and a line that was last once gives the privilege up, so the
// lines kept in full stay one.
class DecodedTextLastLineCache
{
public:
    explicit DecodedTextLastLineCache(QTextDocument* document);

    // After a change of the document: its last line keeps its shaping from its next layout on.
    void Follow();

private:
    QTextDocument* document;
    // At the start of the line that keeps its shaping; edits move it along.
    QTextCursor holder;
    QTextLayout* held = nullptr;
};
