#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringMatcher>
#include <QStringView>
#include <QVector>

// Plain-text search for the find bar and the watch list. Either one needle, matched anywhere
// with or without regard to case, or a list of words matched whole and in any case. Nothing is
// read as a pattern: a word is the characters it is made of.
class DecodedTextMatcher
{
public:
    struct Hit
    {
        int start; // text index of the first character
        int end;   // one past the last one
        int word;  // index into Words()
    };

    // Letters, digits, marks, '_' and '/': the characters a call sign such as "DL1ABC/P" is
    // made of, as a double click in the text takes them.
    static bool IsWordCharacter(QChar c);
    // Trimmed, inner white space made single blanks; empty entries and repeats that differ
    // only in case dropped, the first spelling kept.
    static QStringList CleanWords(const QStringList& words);

    DecodedTextMatcher() = default;

    void SetNeedle(const QString& needle, bool caseSensitive);
    void SetWords(const QStringList& words);

    bool IsEmpty() const { return words.isEmpty(); }
    bool WholeWords() const { return wholeWords; }
    const QStringList& Words() const { return words; }
    // Characters of the longest word: how much of the text before new text can be part of a
    // match that reaches into it.
    int Longest() const { return longest; }

    // Appends every match in text whose end is at or after from, in the order of their ends.
    // Text before from is only looked at for matches that reach from and for word boundaries.
    void Scan(QStringView text, int from, QVector<Hit>& out) const;

private:
    struct Node
    {
        int fail = 0;
        int output = -1; // the node's own word, -1 if none
        int next = 0;    // nearest node down the fail chain with a word of its own, 0 if none
    };

    static quint64 Edge(int node, ushort c) { return (quint64(node) << 16) | c; }
    bool Bounded(QStringView text, int start, int end) const;
    void Build();

    QStringList words;
    bool wholeWords = false;
    int longest = 0;
    QStringMatcher needleMatcher;
    // Aho-Corasick automaton over case-folded UTF-16 units: one scan finds every word.
    QVector<Node> nodes;
    QVector<int> wordLength;
    QHash<quint64, int> edges;
};
