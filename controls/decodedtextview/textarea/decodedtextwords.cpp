#include "decodedtextwords_p.h"

#include <QTextCursor>
#include <QTextDocument>

namespace {

bool IsWordCharacter(const QTextDocument* doc, int position)
{
    return position >= 0 && position < doc->characterCount()
        && doc->characterAt(position).isLetterOrNumber();
}

} // namespace

void DecodedTextWords::JoinSlashes(QTextCursor& cursor)
{
    const QTextDocument* doc = cursor.document();
    if (!doc || !cursor.hasSelection())
        return;
    int start = cursor.selectionStart();
    int end = cursor.selectionEnd();
    const QChar slash = QLatin1Char('/');
    while (doc->characterAt(start - 1) == slash && IsWordCharacter(doc, start - 2)) {
        start -= 2;
        while (IsWordCharacter(doc, start - 1))
            --start;
    }
    while (doc->characterAt(end) == slash && IsWordCharacter(doc, end + 1)) {
        end += 2;
        while (IsWordCharacter(doc, end))
            ++end;
    }
    const bool forward = cursor.anchor() <= cursor.position();
    cursor.setPosition(forward ? start : end);
    cursor.setPosition(forward ? end : start, QTextCursor::KeepAnchor);
}
