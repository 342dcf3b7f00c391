#include "recordedframes.h"

#include "varnoresultdataxml.h"

using VarnoResultDataXml::TimeStamp;

QVector<RecordedFrames::Frame> RecordedFrames::Cut(
    const VarnoResultDataXml::Transmission& transmission, const VarnoResultDataXml::DataBlock& block)
{
    const QString content = block.GetContent();
    QVector<TimeStamp> stamps = block.GetTimeStamp();
    if (stamps.isEmpty()) {
        TimeStamp whole;
        whole.Time = transmission.GetStartTime();
        stamps.append(whole);
    }
    QVector<Frame> frames;
    QDateTime previous;
    for (int i = 0; i < stamps.size(); ++i) {
        // Text before the first frame belongs to it, so that nothing of the block is lost.
        const int begin = i == 0 ? 0 : qBound(0, stamps[i].Position, content.length());
        const int end = i + 1 < stamps.size()
            ? qBound(begin, stamps[i + 1].Position, content.length())
            : content.length();
        if (end <= begin)
            continue;
        Frame frame;
        frame.text = content.mid(begin, end - begin);
        frame.stamp = stamps[i];
        frame.stamp.Position = begin;
        // A block's frames must arrive in their own order even where their times do not.
        frame.due = stamps[i].Time.isValid() ? stamps[i].Time : transmission.GetStartTime();
        if (previous.isValid() && (!frame.due.isValid() || frame.due < previous))
            frame.due = previous;
        previous = frame.due;
        frames.append(frame);
    }
    return frames;
}
