#include "decodedtextmatcher_p.h"

#include <QSet>

namespace {
ushort Fold(QChar c)
{
    return c.toCaseFolded().unicode();
}
}

bool DecodedTextMatcher::IsWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == QLatin1Char('_') || c == QLatin1Char('/');
}

QStringList DecodedTextMatcher::CleanWords(const QStringList& list)
{
    QStringList clean;
    QSet<QString> seen;
    for (const QString& word : list) {
        const QString simple = word.simplified();
        if (simple.isEmpty())
            continue;
        const QString key = simple.toCaseFolded();
        if (seen.contains(key))
            continue;
        seen.insert(key);
        clean.append(simple);
    }
    return clean;
}

void DecodedTextMatcher::SetNeedle(const QString& needle, bool caseSensitive)
{
    wholeWords = false;
    words = needle.isEmpty() ? QStringList() : QStringList(needle);
    longest = needle.size();
    needleMatcher = QStringMatcher(needle, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
    nodes.clear();
    edges.clear();
    wordLength.clear();
}

void DecodedTextMatcher::SetWords(const QStringList& list)
{
    wholeWords = true;
    words = CleanWords(list);
    longest = 0;
    for (const QString& word : qAsConst(words))
        longest = qMax(longest, word.size());
    needleMatcher = QStringMatcher();
    Build();
}

void DecodedTextMatcher::Build()
{
    nodes = QVector<Node>(1);
    edges.clear();
    wordLength.clear();
    for (int w = 0; w < words.size(); ++w) {
        const QString& word = words.at(w);
        int node = 0;
        for (QChar c : word) {
            const quint64 key = Edge(node, Fold(c));
            auto it = edges.constFind(key);
            if (it == edges.constEnd()) {
                edges.insert(key, nodes.size());
                node = nodes.size();
                nodes.append(Node());
            } else {
                node = it.value();
            }
        }
        nodes[node].output = w;
        wordLength.append(word.size());
    }

    // Fail links breadth first: a node's fail is the longest proper suffix of its path that is
    // also a path from the root. The children of a node are found through the edge table.
    QVector<QVector<QPair<ushort, int>>> children(nodes.size());
    for (auto it = edges.constBegin(); it != edges.constEnd(); ++it)
        children[int(it.key() >> 16)].append(qMakePair(ushort(it.key() & 0xffff), it.value()));
    QVector<int> queue;
    for (const auto& child : qAsConst(children[0]))
        queue.append(child.second);
    for (int i = 0; i < queue.size(); ++i) {
        const int node = queue.at(i);
        const Node& self = nodes.at(node);
        nodes[node].next = nodes.at(self.fail).output >= 0 ? self.fail : nodes.at(self.fail).next;
        for (const auto& child : qAsConst(children[node])) {
            int fail = self.fail;
            for (;;) {
                auto it = edges.constFind(Edge(fail, child.first));
                if (it != edges.constEnd() && it.value() != child.second) {
                    fail = it.value();
                    break;
                }
                if (fail == 0) {
                    fail = 0;
                    break;
                }
                fail = nodes.at(fail).fail;
            }
            nodes[child.second].fail = fail;
            queue.append(child.second);
        }
    }
}

bool DecodedTextMatcher::Bounded(QStringView text, int start, int end) const
{
    if (!wholeWords)
        return true;
    return (start == 0 || !IsWordCharacter(text.at(start - 1)))
        && (end == text.size() || !IsWordCharacter(text.at(end)));
}

void DecodedTextMatcher::Scan(QStringView text, int from, QVector<Hit>& out) const
{
    if (words.isEmpty())
        return;
    const int n = int(text.size());
    const int begin = qMax(0, from - longest);
    if (!wholeWords) {
        const int length = words.first().size();
        for (int at = needleMatcher.indexIn(text.data(), n, begin); at >= 0;
             at = needleMatcher.indexIn(text.data(), n, at + 1)) {
            if (at + length >= from)
                out.append({ at, at + length, 0 });
        }
        return;
    }

    int state = 0;
    for (int i = begin; i < n; ++i) {
        const ushort c = Fold(text.at(i));
        for (;;) {
            auto it = edges.constFind(Edge(state, c));
            if (it != edges.constEnd()) {
                state = it.value();
                break;
            }
            if (state == 0)
                break;
            state = nodes.at(state).fail;
        }
        if (i + 1 < from)
            continue;
        for (int node = nodes.at(state).output >= 0 ? state : nodes.at(state).next; node > 0;
             node = nodes.at(node).next) {
            const int word = nodes.at(node).output;
            const int start = i + 1 - wordLength.at(word);
            if (Bounded(text, start, i + 1))
                out.append({ start, i + 1, word });
        }
    }
}
