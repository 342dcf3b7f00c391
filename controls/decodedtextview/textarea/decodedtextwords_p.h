#pragma once

class QTextCursor;

// Word selection that keeps call signs whole: the toolkit ends a word at "/", so a double click
// on "DL/G4ZZA/P" would take "G4ZZA" only.
class DecodedTextWords
{
public:
    // Widens the cursor's selection over every "/" that stands between letters or digits,
    // together with the letters and digits on its far side.
    static void JoinSlashes(QTextCursor& cursor);
};
