#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <memory>
#include <utility>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::Transmission;
using VarnoResultDataXml::UserData;
using VarnoResultDataXml::VarnoResultData;

namespace {

bool Overlaps(const UserData& annotation, int from, int to)
{
    const int start = annotation.Start;
    const int end = annotation.End;
    return (start <= from && from < end) || (start <= to && to < end)
        || (from <= start && start < to) || (from <= end && end < to);
}

int ClampToInt(qint64 value)
{
    return int(qBound<qint64>(INT_MIN, value, INT_MAX));
}

// Finds the document's transmission for a start time as a search from the newest one would,
// without searching the whole document for every block of a long channel.
// Equal start times are one key, and a later transmission replaces an earlier one in the index,
// so the newest match wins as in that search.
class TransmissionIndex {
public:
    explicit TransmissionIndex(const VarnoResultData& document)
    {
        for (Transmission* transmission : document.GetTransmission())
            Add(transmission);
    }

    Transmission* Find(const QDateTime& start) const
    {
        if (!start.isValid())
            return withoutStart;
        return byStart.value(start.toMSecsSinceEpoch(), nullptr);
    }

    void Add(Transmission* transmission)
    {
        const QDateTime start = transmission->GetStartTime();
        if (start.isValid())
            byStart.insert(start.toMSecsSinceEpoch(), transmission);
        else
            withoutStart = transmission;
    }

private:
    QHash<qint64, Transmission*> byStart;
    Transmission* withoutStart = nullptr;
};

} // namespace

void DecodedTextData::GetData(int channel, VarnoResultData& document, bool openOnly)
{
    if (!ChannelExists(channel))
        return;
    const QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = GetChannelData(channel);
    const bool userChannel = channel == UserChannelID;
    TransmissionIndex index(document);

    // A copy of the list, so that the blocks stay alive and in place while they are written.
    const QList<QExplicitlySharedDataPointer<DecodedTextBlock>> blocks = buffer->blocks;
    for (const QExplicitlySharedDataPointer<DecodedTextBlock>& block : blocks) {
        if (openOnly && block->closed)
            continue;
        std::unique_ptr<DataBlock> data(new DataBlock(channel, 0, 0));
        block->WriteBlock(data.get(), 0, 0);
        if (userChannel && data->GetContent().isEmpty())
            continue;

        Transmission* transmission = nullptr;
        if (userChannel) {
            // Typed text belongs to whatever transmission the host is saving.
            if (!document.GetTransmission().isEmpty())
                transmission = document.GetTransmission().last();
        } else {
            transmission = index.Find(block->timestamp);
        }
        if (transmission) {
            transmission->AddDataBlock(data.release());
        } else {
            std::unique_ptr<Transmission> created(new Transmission);
            created->SetStartTime(block->timestamp);
            created->SetStopTime(block->timestamp);
            created->AddDataBlock(data.release());
            transmission = created.get();
            document.AddTransmission(created.release());
            index.Add(transmission);
        }

        if (!block->snippets.isEmpty() && transmission->GetStopTime() < block->LastTimestamp())
            transmission->SetStopTime(block->LastTimestamp());
    }
}

bool DecodedTextData::IsChanged(int channel)
{
    for (const QExplicitlySharedDataPointer<DecodedTextBuffer>& buffer : qAsConst(buffers)) {
        if (buffer->channel != channel)
            continue;
        for (const QExplicitlySharedDataPointer<DecodedTextBlock>& block :
             qAsConst(buffer->blocks)) {
            if (block->changed)
                return true;
        }
        return false;
    }
    return false;
}

void DecodedTextBlock::WriteBlock(DataBlock* target, int fromPosition, int fromSnippet)
{
    target->SetID(id);

    if (fromSnippet >= 0 && fromSnippet < snippets.size()) {
        int index = TextIndex(snippets.at(fromSnippet).start);
        for (int i = fromSnippet; i < snippets.size(); ++i) {
            DecodedTextSnippet& snippet = snippets[i];
            snippet.flags &= ~SnippetEdited;
            target->SetTimeStamp(snippet.timestamp);
            target->BeginFrame();
            target->AppendData(text.mid(index, snippet.length));
            target->EndFrame();
            index += snippet.length;
        }
    }

    // Annotations are stored by position but handed out by text index. The text indices come
    // from one walk over the snippets in order of position instead of one walk per annotation,
    // which matters for the aggregation channel with its mark at every change of channel.
    const int endPosition = EndPosition();
    QVector<int> written;
    for (int k = 0; k < userData.size(); ++k) {
        if (Overlaps(*userData.at(k), fromPosition, endPosition))
            written.append(k);
    }
    if (written.isEmpty()) {
        changed = false;
        return;
    }

    QVector<std::pair<int, int>> byStart; // (Start, index into written)
    byStart.reserve(written.size());
    for (int w = 0; w < written.size(); ++w)
        byStart.append(std::make_pair(userData.at(written.at(w))->Start, w));
    std::sort(byStart.begin(), byStart.end());

    QVector<int> textIndex(written.size(), 0);
    const int firstStart = snippets.isEmpty() ? 0 : snippets.first().start;
    int snippet = 0;
    qint64 before = 0; // characters of the snippets passed
    for (const std::pair<int, int>& entry : qAsConst(byStart)) {
        const int position = entry.first;
        if (snippets.isEmpty() || position <= firstStart)
            continue;
        while (snippet < snippets.size() && snippets.at(snippet).end <= position) {
            before += snippets.at(snippet).length;
            ++snippet;
        }
        qint64 result = before;
        if (snippet < snippets.size() && snippets.at(snippet).start <= position)
            result += position - snippets.at(snippet).start;
        textIndex[entry.second] = ClampToInt(result);
    }

    for (int w = 0; w < written.size(); ++w) {
        const UserData* annotation = userData.at(written.at(w));
        UserData* copy = new UserData(*annotation);
        copy->Start = textIndex.at(w);
        copy->End = ClampToInt(qint64(copy->Start) + annotation->End - annotation->Start);
        target->AddUserData(copy);
    }
    changed = false;
}
