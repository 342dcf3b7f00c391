#include "piecegenerator.h"

#include "varnoresultdataxml.h"

#include <QTextCursor>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::TimeStamp;
using VarnoResultDataXml::Transmission;

PieceGenerator::PieceGenerator(const Shape& shape_, quint32 seed)
    : shape(shape_)
    , state(seed)
    , pieces(0)
    , characters(0)
    , base(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC)
    , streamPositions(qMax(shape_.channels, 1), 0)
{
    shape.channels = qMax(shape.channels, 1);
    shape.runs = qMax(shape.runs, 1);
    shape.roundsPerTransmission = qMax(shape.roundsPerTransmission, 1);
    shape.millisecondsPerRound = qMax(shape.millisecondsPerRound, 1);
}

int PieceGenerator::Random(int below)
{
    state = state * 1103515245u + 12345u;
    return below > 0 ? int(((state >> 16) & 0x7fff) % quint32(below)) : 0;
}

PieceGenerator::Piece PieceGenerator::Next()
{
    const int index = int(pieces % shape.channels);
    const int round = int(pieces / shape.channels);
    ++pieces;
    return Make(index, round);
}

qint64 PieceGenerator::Characters() const
{
    return characters;
}

qint64 PieceGenerator::Pieces() const
{
    return pieces;
}

qint64 PieceGenerator::SimulatedMilliseconds() const
{
    const qint64 rounds = (pieces + shape.channels - 1) / shape.channels;
    return rounds * shape.millisecondsPerRound;
}

PieceGenerator::Piece PieceGenerator::Make(int index, int round)
{
    static const char words[][8]
        = { "CQ", "DE", "TEST", "QSL", "73", "RST", "599", "NAME", "QTH", "K" };
    const int transmission = round / shape.roundsPerTransmission;
    const int roundInTransmission = round % shape.roundsPerTransmission;
    if (roundInTransmission == 0)
        streamPositions[index] = 0;

    Piece piece;
    piece.channel = shape.firstChannel + index;
    while (piece.text.size() < shape.minLength) {
        piece.text += QLatin1String(words[Random(10)]);
        piece.text += shape.newlines && Random(12) == 0 ? QLatin1Char('\n') : QLatin1Char(' ');
    }
    if (shape.lossEvery > 0 && Random(shape.lossEvery) == 0)
        streamPositions[index] += 3;

    const qint64 transmissionLength = qint64(shape.roundsPerTransmission) * shape.millisecondsPerRound;
    const QDateTime start = base.addMSecs(transmission * transmissionLength);
    const QDateTime roundTime = base.addMSecs(qint64(round) * shape.millisecondsPerRound);

    Transmission document;
    document.SetStartTime(start);
    document.SetStopTime(start.addMSecs(transmissionLength));
    auto* block = new DataBlock(piece.channel, 0, 0);
    block->SetID(piece.channel);
    block->SetContent(piece.text);
    for (int r = 0; r < shape.runs; ++r) {
        TimeStamp stamp;
        // Spread runs overlap the other channels' runs of the same round, so the aggregation
        // merges them into its middle; bunched runs arrive in time order.
        const qint64 offset = shape.spreadRuns
            ? qint64(r) * shape.millisecondsPerRound / shape.runs + index
            : qint64(index) * shape.runs + r;
        stamp.Time = roundTime.addMSecs(offset);
        const int runStart = r * piece.text.size() / shape.runs;
        stamp.Position = streamPositions[index] + runStart;
        stamp.Quality = Random(101);
        block->GetTimeStamp().append(stamp);
        piece.runStarts.append(runStart);
        piece.qualities.append(stamp.Quality);
    }
    streamPositions[index] += piece.text.size();
    document.AddDataBlock(block);
    piece.xml = document.GetXmlString();
    piece.endsTransmission = index == shape.channels - 1
        && roundInTransmission == shape.roundsPerTransmission - 1;
    characters += piece.text.size();
    return piece;
}

void PieceGenerator::Insert(QTextCursor& cursor, const Piece& piece, bool colourCoding,
                            int threshold, const QTextCharFormat& normal,
                            const QTextCharFormat& low)
{
    if (!colourCoding) {
        cursor.insertText(piece.text);
        return;
    }
    for (int r = 0; r < piece.runStarts.size(); ++r) {
        const int from = piece.runStarts.at(r);
        const int to =
            r + 1 < piece.runStarts.size() ? piece.runStarts.at(r + 1) : piece.text.size();
        cursor.insertText(piece.text.mid(from, to - from),
                          piece.qualities.at(r) >= threshold ? normal : low);
    }
}
