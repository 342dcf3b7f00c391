// Memory: eight decoder channels with the default buffer size fed generated pieces, and the
// process's peak (VmHWM) and current (VmRSS) resident size read after a first and after ten
// times as many characters. With the buffers full after the first mark, the second should be
// hardly higher. The mapped intake also merges every piece into the aggregation channel, which
// the model trims at the end of each transmission only while offline; online it keeps the
// whole merged text by design and grows.
//
//   memory_bench [--scale factor] [--characters n] [--mapped] [--offline]
//
// characters defaults to 10 000 000, the first mark is a tenth of it. Run each variant in its
// own process: the peak is the process's.

#include "benchsupport.h"
#include "decodedtextdata.h"
#include "piecegenerator.h"

#include <QCoreApplication>
#include <QMap>
#include <QVector>

using namespace BenchSupport;

namespace {

constexpr int Channels = 8;
constexpr int RoundsPerTransmission = 300;

struct Mark
{
    qint64 characters = 0;
    qint64 peakKb = 0;
    qint64 residentKb = 0;
};

QString Describe(const Mark& mark)
{
    return QStringLiteral("%1 M chars: peak %2, now %3")
        .arg(mark.characters / 1e6, 0, 'f', 1)
        .arg(Megabytes(mark.peakKb), Megabytes(mark.residentKb));
}

} // namespace

int main(int argc, char** argv)
{
    PrepareEnvironment();
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qint64 total = qMax<qint64>(100000, qint64(Option(arguments, QStringLiteral("--characters"),
                                                            QStringLiteral("10000000")).toLongLong()
                                                     * Scale(arguments)));
    const bool mapped = arguments.contains(QStringLiteral("--mapped"));
    const bool offline = arguments.contains(QStringLiteral("--offline"));

    DecodedTextData model;
    model.SetOffline(offline);
    QMap<int, int> channelMap;
    for (int channel = 1; channel <= Channels; ++channel)
        channelMap.insert(channel, channel);
    QVector<int> usedChannels;

    PieceGenerator::Shape shape;
    shape.channels = Channels;
    shape.roundsPerTransmission = RoundsPerTransmission;
    shape.lossEvery = 16;
    PieceGenerator generator(shape, 2024u);

    Mark first;
    first.characters = total / 10;
    Mark last;
    last.characters = total;
    Mark* next = &first;
    while (next) {
        const PieceGenerator::Piece piece = generator.Next();
        if (mapped)
            model.AddTransmission(channelMap, usedChannels, piece.xml);
        else
            model.AddTransmission(piece.xml);
        if (piece.endsTransmission)
            model.EndTransmission();
        if (generator.Characters() >= next->characters) {
            next->characters = generator.Characters();
            next->peakKb = StatusKb("VmHWM");
            next->residentKb = StatusKb("VmRSS");
            next = next == &first ? &last : nullptr;
        }
    }

    qint64 aggregation = 0;
    if (model.ChannelExists(DecodedTextData::AggregationChannelID)) {
        for (const auto& block : model.GetChannelData(DecodedTextData::AggregationChannelID)->blocks)
            aggregation += block->text.size();
    }
    const double ratio = double(last.peakKb) / double(first.peakKb);
    Row(QStringLiteral("4 memory"),
        QStringLiteral("8 channels, %1 intake, %2")
            .arg(mapped ? "mapped" : "plain", offline ? "offline" : "online"),
        Describe(last), Describe(first), ratio, QStringLiteral("<= 1.10"), ratio <= 1.10);
    if (mapped)
        Note(QStringLiteral("memory, mapped %1: the aggregation channel holds %2 characters at "
                            "the end")
                 .arg(offline ? "offline" : "online")
                 .arg(aggregation));
    return 0;
}
