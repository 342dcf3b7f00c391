#include "recordingschedule.h"

#include "channelnamenotes.h"
#include "feedframe.h"
#include "varnoresultdataxml.h"

#include <QDateTime>

#include <algorithm>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::TimeStamp;
using VarnoResultDataXml::Transmission;

bool RecordingSchedule::Load(const QString& xml, QString& error)
{
    VarnoResultDataXml::VarnoResultData document;
    if (!document.SetXmlString(xml)) {
        error = QStringLiteral("not a result-data document");
        return false;
    }
    m_events.clear();
    m_textFrames = 0;
    const QMap<int, QString> names = ChannelNameNotes::Read(xml);
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        m_events.append({ 0, FeedFrame::ChannelName(it.key(), it.value()) });

    // Per recorded transmission its pieces, then its end; all ordered by time below.
    struct Timed {
        QDateTime due;
        QByteArray frame;
    };
    QVector<Timed> timed;
    for (const Transmission* transmission : document.GetTransmission()) {
        QVector<Piece> pieces;
        try {
            for (const DataBlock* block : transmission->GetDataBlock())
                AddBlock(*transmission, *block, pieces);
        } catch (const VarnoResultDataXml::VarnoResultDataException& e) {
            error = QStringLiteral("cannot cut a transmission into frames: %1").arg(e.GetMessage());
            return false;
        }
        if (pieces.isEmpty())
            continue;
        QDateTime last;
        for (const Piece& piece : qAsConst(pieces)) {
            timed.append({ piece.due, FeedFrame::Transmission(piece.xml) });
            if (!last.isValid() || piece.due > last)
                last = piece.due;
        }
        timed.append({ last, FeedFrame::End() });
        m_textFrames += pieces.size();
    }
    // Stable, so that a transmission's end stays behind its frames of the same time.
    std::stable_sort(timed.begin(), timed.end(),
                     [](const Timed& a, const Timed& b) { return a.due < b.due; });
    const QDateTime origin = timed.isEmpty() ? QDateTime() : timed.constFirst().due;
    for (const Timed& event : qAsConst(timed))
        m_events.append({ origin.isValid() && event.due.isValid() ? origin.msecsTo(event.due) : 0,
                          event.frame });
    return true;
}

const QVector<RecordingSchedule::Event>& RecordingSchedule::Events() const
{
    return m_events;
}

int RecordingSchedule::TextFrameCount() const
{
    return m_textFrames;
}

// Cuts a block at its time stamps as the launcher's replay does, so that a block arrives
// frame by frame at the text indices the recording gives its annotations.
void RecordingSchedule::AddBlock(const Transmission& transmission, const DataBlock& block,
                                 QVector<Piece>& pieces)
{
    const QString content = block.GetContent();
    QVector<TimeStamp> stamps = block.GetTimeStamp();
    if (stamps.isEmpty()) {
        TimeStamp whole;
        whole.Time = transmission.GetStartTime();
        stamps.append(whole);
    }
    QDateTime previous;
    for (int i = 0; i < stamps.size(); ++i) {
        // Text before the first frame belongs to it, so that nothing of the block is lost.
        const int begin = i == 0 ? 0 : qBound(0, stamps[i].Position, content.length());
        const int end = i + 1 < stamps.size()
            ? qBound(begin, stamps[i + 1].Position, content.length())
            : content.length();
        if (end <= begin)
            continue;
        Transmission piece;
        piece.SetStartTime(transmission.GetStartTime());
        piece.SetStopTime(stamps[i].Time);
        auto* data = new DataBlock(block.GetChannel(), 0, 0);
        piece.AddDataBlock(data);
        data->SetID(block.GetID());
        data->SetContent(content.mid(begin, end - begin));
        data->SetContentCode(block.GetContentCode());
        data->SetContentDirectionRTL(block.GetContentDirectionRTL());
        TimeStamp stamp = stamps[i];
        stamp.Position = begin;
        data->GetTimeStamp().append(stamp);
        // A block's frames must go out in their own order even where their times do not.
        QDateTime due = stamps[i].Time.isValid() ? stamps[i].Time : transmission.GetStartTime();
        if (previous.isValid() && (!due.isValid() || due < previous))
            due = previous;
        previous = due;
        // The block's last frame carries its annotations.
        if (end == content.length()) {
            for (const VarnoResultDataXml::UserData* userData : block.GetUserData())
                data->AddUserData(new VarnoResultDataXml::UserData(*userData));
        }
        pieces.append({ due, piece.GetXmlString() });
    }
}
