#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

class QTextCharFormat;
class QTextCursor;

// Decoder output for the benchmarks: pieces of text with runs of differing quality, handed out
// channel after channel as a bank of decoders delivers them. Every channel sends one piece per
// round; a transmission lasts a number of rounds, and all pieces of one transmission carry its
// start time, so that the model appends them to one block per channel.
class PieceGenerator
{
public:
    struct Shape
    {
        int firstChannel = 1;
        int channels = 1;
        int minLength = 40;          // characters per piece, at least
        int runs = 3;                // time stamps per piece
        int roundsPerTransmission = 1;
        int millisecondsPerRound = 1000;
        int lossEvery = 0;           // now and then the decoder loses characters; 0: never
        bool spreadRuns = true;      // runs spread over the round, as decoded; else at its start
        bool newlines = false;       // some pieces carry line breaks
    };

    struct Piece
    {
        int channel = 0;
        QString text;
        QVector<int> runStarts;  // offsets into text
        QVector<int> qualities;  // per run
        QString xml;             // the piece as a one-block transmission document
        bool endsTransmission = false; // the last piece of the transmission's last round
    };

    explicit PieceGenerator(const Shape& shape, quint32 seed = 12345u);

    // The piece's text at the cursor, as a bare editor takes it: in one go, or with colour
    // coding run by run, runs below threshold in the low format.
    static void Insert(QTextCursor& cursor, const Piece& piece, bool colourCoding, int threshold,
                       const QTextCharFormat& normal, const QTextCharFormat& low);

    Piece Next();

    qint64 Characters() const;
    qint64 Pieces() const;
    // Simulated time the pieces handed out so far cover.
    qint64 SimulatedMilliseconds() const;

private:
    int Random(int below);
    Piece Make(int channel, int round);

    Shape shape;
    quint32 state;
    qint64 pieces;
    qint64 characters;
    QDateTime base;
    QVector<int> streamPositions;
};
