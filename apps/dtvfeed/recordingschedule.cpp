#include "recordingschedule.h"

#include "channelnamenotes.h"
#include "feedframe.h"
#include "recordedframes.h"
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

void RecordingSchedule::AddBlock(const Transmission& transmission, const DataBlock& block,
                                 QVector<Piece>& pieces)
{
    const QVector<RecordedFrames::Frame> frames = RecordedFrames::Cut(transmission, block);
    for (int i = 0; i < frames.size(); ++i) {
        Transmission piece;
        piece.SetStartTime(transmission.GetStartTime());
        piece.SetStopTime(frames[i].stamp.Time);
        auto* data = new DataBlock(block.GetChannel(), 0, 0);
        piece.AddDataBlock(data);
        data->SetID(block.GetID());
        data->SetContent(frames[i].text);
        data->SetContentCode(block.GetContentCode());
        data->SetContentDirectionRTL(block.GetContentDirectionRTL());
        data->GetTimeStamp().append(frames[i].stamp);
        if (i + 1 == frames.size()) {
            for (const VarnoResultDataXml::UserData* userData : block.GetUserData())
                data->AddUserData(new VarnoResultDataXml::UserData(*userData));
        }
        pieces.append({ frames[i].due, piece.GetXmlString() });
    }
}
