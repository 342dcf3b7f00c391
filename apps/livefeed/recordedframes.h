#pragma once

#include "varnotimestamp.h"

#include <QDateTime>
#include <QString>
#include <QVector>

namespace VarnoResultDataXml {
class DataBlock;
class Transmission;
}

// A recorded data block cut at its time stamps into the frames a decoder delivered, each due
// at its recorded time. The replay and the sender both feed a recording this way, so that a
// receiver rebuilds the same block, with the block's annotations on its last frame.
class RecordedFrames
{
public:
    struct Frame {
        QDateTime due;
        QString text;
        VarnoResultDataXml::TimeStamp stamp; // Position: where the frame starts in the block
    };

    static QVector<Frame> Cut(const VarnoResultDataXml::Transmission& transmission,
                              const VarnoResultDataXml::DataBlock& block);
};
