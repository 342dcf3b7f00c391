#include "decodedtextchannelscan_p.h"

#include "decodedtextbuffer.h"
#include "decodedtextmatcher_p.h"

#include <QHash>

#include <algorithm>

DecodedTextChannelScan::DecodedTextChannelScan(int channel, const DecodedTextMatcher* matcher)
    : channel(channel), matcher(matcher)
{
}

int DecodedTextChannelScan::IndexOf(const DecodedTextBlock* block) const
{
    // The block looked for is nearly always the newest.
    for (int i = entries.size() - 1; i >= 0; --i) {
        if (entries.at(i).block.data() == block)
            return i;
    }
    return -1;
}

void DecodedTextChannelScan::Prune(const DecodedTextBuffer& buffer)
{
    // The buffer drops blocks oldest first; only a block the scan never saw can stand in front
    // of the first one it knows, and then the buffer is searched for it.
    while (!entries.isEmpty()) {
        const BlockPtr& front = entries.first().block;
        if (!buffer.blocks.isEmpty() && front == buffer.blocks.first())
            break;
        if (buffer.blocks.contains(front))
            break;
        count -= entries.first().matches.size();
        entries.removeFirst();
    }
    if (!entries.isEmpty())
        TrimHead(entries.first());
}

int DecodedTextChannelScan::HeadOf(const DecodedTextBlock& block)
{
    // Trimming leaves a gap from position 0 up to the first snippet it kept. A block that
    // begins with lost characters looks the same, and has nothing to search there either.
    const QList<DecodedTextSnippet>& snippets = block.snippets;
    if (snippets.isEmpty() || !(snippets.first().flags & SnippetGap) || snippets.first().start != 0)
        return 0;
    return snippets.first().end;
}

void DecodedTextChannelScan::TrimHead(Entry& entry)
{
    const int head = HeadOf(*entry.block);
    if (head <= 0)
        return;
    int printsGone = 0;
    while (printsGone < entry.prints.size() && entry.prints.at(printsGone).start < head)
        ++printsGone;
    entry.prints.remove(0, printsGone);

    const int reach = head + matcher->Longest();
    int kept = 0;
    int i = 0;
    for (; i < entry.matches.size() && entry.matches.at(i).end <= reach; ++i) {
        if (entry.matches.at(i).start >= head)
            entry.matches[kept++] = entry.matches.at(i);
    }
    if (kept < i) {
        count -= i - kept;
        entry.matches.erase(entry.matches.begin() + kept, entry.matches.begin() + i);
    }
}

DecodedTextChannelScan::Entry& DecodedTextChannelScan::EntryFor(const DecodedTextBuffer& buffer,
                                                                const BlockPtr& block, bool inOrder)
{
    const int index = IndexOf(block.data());
    if (index >= 0)
        return entries[index];
    Entry entry;
    entry.block = block;
    if (inOrder || entries.isEmpty() || buffer.blocks.isEmpty() || buffer.blocks.last() == block) {
        entries.append(entry);
        return entries.last();
    }
    // A block the scan meets late (the user channel makes blocks without telling): put it
    // where the buffer has it, so that the entries keep the buffer's order.
    entries.append(entry);
    QHash<const DecodedTextBlock*, int> order;
    for (int i = 0; i < buffer.blocks.size(); ++i)
        order.insert(buffer.blocks.at(i).data(), i);
    std::stable_sort(entries.begin(), entries.end(), [&order](const Entry& a, const Entry& b) {
        return order.value(a.block.data(), -1) < order.value(b.block.data(), -1);
    });
    return entries[IndexOf(block.data())];
}

DecodedTextChannelScan::Print DecodedTextChannelScan::PrintOf(const DecodedTextBlock& block,
                                                              int snippet, int index)
{
    const DecodedTextSnippet& s = block.snippets.at(snippet);
    const QStringView text = QStringView(block.text).mid(index, s.length);
    uint hash = qHash(text);
    for (uint part : { qHash(s.timestamp), uint(s.quality), uint(s.flags & SnippetGap) })
        hash ^= part + 0x9e3779b9u + (hash << 6) + (hash >> 2);
    return { s.start, s.end, s.length, hash };
}

bool DecodedTextChannelScan::Holds(const Print& print, const DecodedTextBlock& block, int snippet,
                                   int index)
{
    const DecodedTextSnippet& s = block.snippets.at(snippet);
    if (s.start != print.start || s.end != print.end || s.length != print.length || index < 0
        || index + s.length > block.text.size())
        return false;
    return PrintOf(block, snippet, index).hash == print.hash;
}

DecodedTextChannelScan::Outcome DecodedTextChannelScan::Update(const DecodedTextBuffer& buffer,
                                                               const BlockPtr& block, bool deep,
                                                               bool inOrder)
{
    Outcome outcome;
    Entry& entry = EntryFor(buffer, block, inOrder);
    outcome.entry = &entry;
    TrimHead(entry);
    const DecodedTextBlock& b = *block;
    const QList<DecodedTextSnippet>& snippets = b.snippets;
    outcome.scannedBefore = entry.prints.isEmpty() ? 0 : entry.prints.last().end;

    // How many prints still hold, the last snippet they cover and the text index of its end.
    int held = 0;
    int lastHeld = -1;
    int heldEnd = 0;
    if (deep) {
        int j = 0;
        int index = 0;
        for (; held < entry.prints.size(); ++held) {
            const Print& p = entry.prints.at(held);
            while (j < snippets.size() && snippets.at(j).start < p.start)
                index += snippets.at(j++).length;
            if (j >= snippets.size() || !Holds(p, b, j, index))
                break;
            index += snippets.at(j).length;
            lastHeld = j++;
            heldEnd = index;
        }
    } else {
        int j = snippets.size() - 1;
        int end = b.text.size();
        for (held = entry.prints.size(); held > 0; --held) {
            const Print& p = entry.prints.at(held - 1);
            while (j >= 0 && snippets.at(j).start > p.start)
                end -= snippets.at(j--).length;
            if (j >= 0 && Holds(p, b, j, end - snippets.at(j).length)) {
                lastHeld = j;
                heldEnd = end;
                break;
            }
        }
    }
    const int from = held > 0 ? entry.prints.at(held - 1).end : 0;
    entry.prints.resize(held);

    // Matches that reach the changed part are found again or not at all.
    int keep = entry.matches.size();
    while (keep > 0 && entry.matches.at(keep - 1).end >= from)
        --keep;
    for (int i = keep; i < entry.matches.size(); ++i)
        outcome.replaced.append(entry.matches.at(i));
    count -= entry.matches.size() - keep;
    entry.matches.resize(keep);
    outcome.fresh = keep;

    // Prints of the snippets after the last one that held.
    const int head = HeadOf(b);
    int index = heldEnd;
    for (int j = lastHeld + 1; j < snippets.size(); ++j) {
        if (snippets.at(j).start >= head)
            entry.prints.append(PrintOf(b, j, index));
        index += snippets.at(j).length;
    }

    QVector<DecodedTextMatcher::Hit> hits;
    matcher->Scan(QStringView(b.text), heldEnd, hits);
    if (hits.isEmpty())
        return outcome;

    // Text indices to positions, with a cursor on the snippets that moves both ways: hits come
    // in the order of their ends, and a start lies at most the longest word before its end.
    int s = qMax(lastHeld, 0);
    int sIndex = heldEnd - (lastHeld >= 0 ? snippets.at(lastHeld).length : 0);
    auto position = [&](int textIndex, QDateTime* time) {
        while (s > 0 && sIndex > textIndex) {
            --s;
            sIndex -= snippets.at(s).length;
        }
        while (s + 1 < snippets.size() && sIndex + snippets.at(s).length <= textIndex) {
            sIndex += snippets.at(s).length;
            ++s;
        }
        if (time)
            *time = snippets.at(s).timestamp;
        return snippets.at(s).start + (textIndex - sIndex);
    };
    for (const DecodedTextMatcher::Hit& hit : qAsConst(hits)) {
        Match match;
        match.start = position(hit.start, &match.time);
        match.end = position(hit.end - 1, nullptr) + 1;
        match.word = hit.word;
        match.open = matcher->WholeWords() && !b.closed && hit.end == b.text.size();
        entry.matches.append(match);
    }
    count += hits.size();
    return outcome;
}
