#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QVector>

#include <limits>

using VarnoResultDataXml::UserData;

namespace {

// One source run taken over by a merge. The source may be the aggregation block itself when a
// channel map points a channel at 0, so the runs are copied out before anything is changed.
struct PendingRun {
    int start;
    int width;
    int quality;
    bool gap;
    QDateTime timestamp;
    QString piece;
};

// Positions of a hand-made block may lie anywhere in the int range; sums are taken wide and
// brought back into it.
int ClampToInt(qint64 value)
{
    return int(
        qBound<qint64>(std::numeric_limits<int>::min(), value, std::numeric_limits<int>::max()));
}

// Text index of snippet i, summed from the end of the block: merges work near the end, and
// this keeps the cost proportional to the runs behind i rather than to the whole block.
int TextIndexFromEnd(const DecodedTextBlock& block, int i)
{
    qint64 tail = 0;
    for (int k = block.snippets.size() - 1; k >= i && k >= 0; --k)
        tail += block.snippets.at(k).length;
    return int(qBound<qint64>(0, block.text.size() - tail, block.text.size()));
}

// First position of the snippet whose character is not a line break, given the text index
// of the snippet's first character; -1 if it has none.
qint64 FirstVisibleAt(const DecodedTextBlock& block, const DecodedTextSnippet& snippet,
                      int textIndex)
{
    const qint64 last = qMin<qint64>(qint64(textIndex) + snippet.length, block.text.size());
    for (int k = qMax(textIndex, 0); k < last; ++k) {
        if (block.text.at(k) != QLatin1Char('\n'))
            return qint64(snippet.start) + (k - textIndex);
    }
    return -1;
}

bool Overlaps(const UserData* annotation, int from, int to)
{
    const int start = annotation->Start;
    const int end = annotation->End;
    return (start <= from && from < end) || (start <= to && to < end)
        || (from <= start && start < to) || (from <= end && end < to);
}

// The block's annotations are kept in order of Start, and its call signs do not overlap one
// another: the merge marks only where no call sign overlaps, and the operator's call signs
// replace those they overlap. So the ends of the call signs rise with their starts, and walking
// back from the newest, the first call sign that lies wholly before the range rules out every
// earlier one; the walk costs the annotations behind the range, not the whole block.
bool CallSignOverlaps(const DecodedTextBlock& block, int from, int to)
{
    const QString callSignType = UserData::CallSignType;
    for (int k = block.userData.size() - 1; k >= 0; --k) {
        const UserData* annotation = block.userData.at(k);
        if (annotation->Type != callSignType)
            continue;
        if (Overlaps(annotation, from, to))
            return true;
        if (annotation->Start < from && annotation->End < from)
            return false;
    }
    return false;
}

// Whether an annotation starts at or reaches past the given end position. Annotations are kept
// in order of Start and within the block, so the last one answers for all of them.
bool AnnotationsReachEnd(const DecodedTextBlock& block, int end)
{
    if (block.userData.isEmpty())
        return false;
    const UserData* last = block.userData.last();
    return last->Start >= end || last->End > end;
}

} // namespace

bool DecodedTextBlock::MergeIntoAggregation(
    QExplicitlySharedDataPointer<DecodedTextBlock> aggregation,
    QExplicitlySharedDataPointer<DecodedTextBlock> source, DecodedTextData* model, int fromSnippet,
    bool* refresh)
{
    bool ignoredRefresh = false;
    if (!refresh)
        refresh = &ignoredRefresh;
    if (!aggregation || !source)
        return true;
    DecodedTextBlock& agg = *aggregation;

    const int sourceCount = source->snippets.size();
    const bool usable = fromSnippet >= 0 && fromSnippet < sourceCount;

    // Copy the runs out first; reading the source while the aggregation block changes would
    // read moving data if both are the same block.
    const int sourceChannel = source->channel;
    QVector<PendingRun> runs;
    int sourceStart = 0;
    QDateTime sourceTime;
    if (usable) {
        const DecodedTextSnippet& first = source->snippets.at(fromSnippet);
        sourceStart = first.start;
        sourceTime = first.timestamp;
        qint64 index = TextIndexFromEnd(*source, fromSnippet);
        runs.reserve(sourceCount - fromSnippet);
        for (int k = fromSnippet; k < sourceCount; ++k) {
            const DecodedTextSnippet& s = source->snippets.at(k);
            const int length = qMax(s.length, 0);
            const QString piece
                = index < source->text.size() ? source->text.mid(int(index), length) : QString();
            index += length;
            // A run without positions carries nothing the aggregation can place.
            const qint64 width = qint64(s.end) - s.start;
            if (width <= 0 || width > std::numeric_limits<int>::max())
                continue;
            runs.append({ s.start, int(width), s.quality, (s.flags & SnippetGap) != 0, s.timestamp,
                          piece });
        }
    }

    agg.contentCode = source->contentCode;
    agg.rightToLeft = source->rightToLeft;
    if (!usable)
        return true;

    int lowestTouched = agg.snippets.size();

    // Everything of this channel from the resent position on is about to be replaced; the
    // walk ends at the channel's newest older run, which is near the end when runs arrive
    // in time order.
    int firstStaleCandidate = 0;
    for (int k = agg.snippets.size() - 1; k >= 0; --k) {
        DecodedTextSnippet& s = agg.snippets[k];
        if (s.sourceChannel != sourceChannel)
            continue;
        if (s.sourcePosition < sourceStart || s.timestamp < sourceTime) {
            firstStaleCandidate = k + 1;
            break;
        }
        s.flags |= SnippetStale;
    }

    for (const PendingRun& run : qAsConst(runs)) {
        const int width = run.width;
        const int i = agg.FindInsertIndex(sourceChannel, run.timestamp);
        if (i < agg.snippets.size()) {
            if (!(agg.snippets.at(i).flags & SnippetStale)) {
                DecodedTextSnippet fresh;
                fresh.start = fresh.end = agg.snippets.at(i).start;
                fresh.quality = run.quality;
                fresh.timestamp = run.timestamp;
                agg.snippets.insert(i, fresh);
            }
            agg.ReplaceSnippetText(i, sourceChannel, run.start, width, run.gap, run.piece);
            lowestTouched = qMin(lowestTouched, i);
            *refresh = true;
        } else {
            DecodedTextSnippet fresh;
            fresh.start = fresh.end = agg.snippets.isEmpty() ? 0 : agg.snippets.last().end;
            fresh.quality = run.quality;
            fresh.timestamp = run.timestamp;
            agg.snippets.append(fresh);
            agg.ReplaceSnippetText(agg.snippets.size() - 1, sourceChannel, run.start, width,
                                   run.gap, run.piece);
        }
    }

    // What the resend did not reuse goes, with the annotations that start inside it. The
    // index of the text behind each run is kept while walking back, so no pass over the
    // front of the block is needed.
    qint64 tail = 0;
    for (int k = agg.snippets.size() - 1; k >= firstStaleCandidate && k >= 0; --k) {
        const DecodedTextSnippet s = agg.snippets.at(k);
        if (!(s.flags & SnippetStale)) {
            tail += s.length;
            continue;
        }
        agg.RemoveUserDataStartingIn(s.start, s.end);
        const qint64 index = agg.text.size() - tail - s.length;
        if (index >= 0 && s.length > 0)
            agg.text.remove(int(index), s.length);
        const int delta = ClampToInt(qint64(s.start) - s.end);
        if (delta != 0) {
            // The run gives up its positions before the followers close up on it, so that
            // data runs and gaps move back alike.
            agg.snippets[k].end = s.start;
            agg.ShiftFollowing(k, delta);
            agg.AdjustUserData(s.start, s.end, delta);
        }
        agg.snippets.removeAt(k);
        lowestTouched = qMin(lowestTouched, k);
        *refresh = true;
    }

    agg.UpdateChannelMarks(lowestTouched, model);
    if (model) {
        const QString separator = model->GetChannelSeparator();
        if (!separator.isEmpty())
            agg.ApplySeparators(lowestTouched, separator, true);
    }
    agg.changed = true;
    return true;
}

int DecodedTextBlock::FindInsertIndex(int sourceChannel, const QDateTime& timestamp) const
{
    for (int k = snippets.size() - 1; k >= 0; --k) {
        const QDateTime& time = snippets.at(k).timestamp;
        if (time == timestamp) {
            int first = k;
            while (first > 0 && snippets.at(first - 1).timestamp == timestamp)
                --first;
            // A resend fills the stale run of its channel in place; anything else keeps
            // arrival order behind the runs of the same time.
            for (int j = first; j <= k; ++j) {
                const DecodedTextSnippet& s = snippets.at(j);
                if (s.sourceChannel == sourceChannel && (s.flags & SnippetStale))
                    return j;
            }
            return k + 1;
        }
        if (time < timestamp)
            return k + 1;
    }
    return 0;
}

void DecodedTextBlock::ReplaceSnippetText(int index, int sourceChannel, int sourcePosition,
                                          int width, bool gap, const QString& piece)
{
    if (index < 0 || index >= snippets.size())
        return;
    const int textIndex = TextIndexFromEnd(*this, index);
    DecodedTextSnippet& s = snippets[index];
    const int oldStart = s.start;
    const int oldEnd = s.end;
    const qint64 oldWidth = qint64(oldEnd) - oldStart;
    text.replace(textIndex, qBound(0, s.length, text.size() - textIndex), piece);
    // All of the run's characters are new, so a separator it carried is gone and whether it
    // is a gap is decided by the new text alone.
    s.flags &= ~(SnippetStale | SnippetSeparatorInserted | SnippetGap);
    if (gap)
        s.flags |= SnippetGap;
    s.end = ClampToInt(qint64(s.start) + width);
    s.sourceChannel = sourceChannel;
    s.sourcePosition = sourcePosition;
    s.length = piece.size();
    if (width != oldWidth) {
        const int delta = ClampToInt(width - oldWidth);
        ShiftFollowing(index, delta);
        // A run appended at the end moves no annotation unless one lies at the end already;
        // skipping the walk keeps appending independent of the block's size.
        const bool appended = oldWidth == 0 && index == snippets.size() - 1;
        if (!appended || AnnotationsReachEnd(*this, oldEnd))
            AdjustUserData(oldStart, oldEnd, delta);
    }
}

void DecodedTextBlock::ShiftFollowing(int index, int delta)
{
    for (int k = qMax(index + 1, 0); k < snippets.size(); ++k) {
        DecodedTextSnippet& s = snippets[k];
        if (s.flags & SnippetGap) {
            s.start = ClampToInt(qint64(s.start) + delta);
            s.end = ClampToInt(qint64(s.end) + delta);
        } else {
            const qint64 width = qint64(s.end) - s.start;
            s.start = k > 0 ? snippets.at(k - 1).end : 0;
            s.end = ClampToInt(s.start + width);
        }
    }
}

void DecodedTextBlock::RemoveUserDataStartingIn(int from, int to)
{
    for (int k = userData.size() - 1; k >= 0; --k) {
        UserData* annotation = userData.at(k);
        if (annotation->Start >= from && annotation->Start <= to) {
            ForgetAnnotationsFrom(k);
            userData.remove(k);
            delete annotation;
        }
    }
}

void DecodedTextBlock::UpdateChannelMarks(int fromSnippet, DecodedTextData* model)
{
    const int count = snippets.size();
    const int from = qBound(0, fromSnippet, count);
    int previousChannel = -1;
    for (int k = from - 1; k >= 0; --k) {
        if (snippets.at(k).flags & SnippetChannelMark) {
            previousChannel = snippets.at(k).sourceChannel;
            break;
        }
    }

    const QString callSignType = UserData::CallSignType;
    qint64 textIndex = TextIndexFromEnd(*this, from);
    for (int k = from; k < count; ++k) {
        DecodedTextSnippet& s = snippets[k];
        qint64 p = FirstVisibleAt(*this, s, int(qMin<qint64>(textIndex, text.size())));
        textIndex += qMax(s.length, 0);
        if (s.sourceChannel == previousChannel || p < 0) {
            if (s.flags & SnippetChannelMark) {
                s.flags &= ~(SnippetChannelMark | SnippetSeparatorWanted);
                for (int j = userData.size() - 1; j >= 0; --j) {
                    UserData* annotation = userData.at(j);
                    if ((annotation->Start == s.start || annotation->Start == qint64(s.start) + 1)
                        && annotation->Channel > 0 && annotation->Type == callSignType) {
                        ForgetAnnotationsFrom(j);
                        userData.remove(j);
                        delete annotation;
                        break;
                    }
                }
            }
            continue;
        }

        previousChannel = s.sourceChannel;
        if (!CallSignOverlaps(*this, s.start, s.end)) {
            UserData* mark = new UserData;
            mark->Type = callSignType;
            mark->Modifier = model ? model->GetModifier() : QString();
            mark->ChangeTime = QDateTime::currentDateTimeUtc();
            mark->Start = ClampToInt(p);
            mark->End = ClampToInt(p + 1);
            if (model)
                mark->CallSign = model->GetChannelNames().value(s.sourceChannel);
            mark->Channel = s.sourceChannel;
            // In order of Start, so the place is found from the newest end.
            int at = userData.size();
            while (at > 0 && userData.at(at - 1)->Start > p)
                --at;
            userData.insert(at, mark);
            ++userDataCount;
            s.flags |= SnippetChannelMark;
        } else if (s.flags & SnippetSeparatorWanted) {
            // The separator already stands in front of the visible text.
            p = p - 1;
        }
        if (k == 0 || p != s.start || (snippets.at(k - 1).flags & SnippetGap))
            s.flags &= ~SnippetSeparatorWanted;
        else
            s.flags |= SnippetSeparatorWanted;
    }
}
