// XML intake: generated decoder pieces for eight channels through the model's plain intake and
// through the mapped intake that also merges every piece into the aggregation channel, each
// against a bare QXmlStreamReader pass over the same documents, so that the model's own share
// of the cost is visible. The host ends each transmission, as it would.
//
//   intake_bench [--scale factor] [--pieces n]      (default 100000 pieces)

#include "benchsupport.h"
#include "decodedtextdata.h"
#include "piecegenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QVector>
#include <QXmlStreamReader>

using namespace BenchSupport;

namespace {

constexpr int Channels = 8;
// Rounds of one transmission; long enough that a block outgrows the buffer and is trimmed
// from the front while it grows.
constexpr int RoundsPerTransmission = 500;
// Each pass runs this often; the fastest run counts, as the machine may be shared.
constexpr int Repeats = 3;

struct Documents
{
    QVector<QString> xml;
    QVector<bool> endsTransmission;
    qint64 characters = 0;
};

Documents Generate(int count)
{
    PieceGenerator::Shape shape;
    shape.channels = Channels;
    shape.roundsPerTransmission = RoundsPerTransmission;
    shape.lossEvery = 16;
    PieceGenerator generator(shape);
    Documents out;
    out.xml.reserve(count);
    out.endsTransmission.reserve(count);
    for (int i = 0; i < count; ++i) {
        PieceGenerator::Piece piece = generator.Next();
        out.xml.append(piece.xml);
        out.endsTransmission.append(piece.endsTransmission);
    }
    out.characters = generator.Characters();
    return out;
}

qint64 BareXmlPass(const Documents& documents)
{
    QElapsedTimer timer;
    timer.start();
    qint64 tokens = 0;
    for (const QString& document : documents.xml) {
        QXmlStreamReader reader(document);
        while (!reader.atEnd()) {
            reader.readNext();
            ++tokens;
        }
    }
    const qint64 elapsed = timer.nsecsElapsed();
    // Keeps the loop from being optimised away.
    if (tokens == 0)
        Note(QStringLiteral("the bare XML pass read nothing"));
    return elapsed;
}

qint64 PlainPass(const Documents& documents)
{
    DecodedTextData model;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < documents.xml.size(); ++i) {
        model.AddTransmission(documents.xml.at(i));
        if (documents.endsTransmission.at(i))
            model.EndTransmission();
    }
    return timer.nsecsElapsed();
}

qint64 MappedPass(const Documents& documents)
{
    DecodedTextData model;
    QMap<int, int> channelMap;
    for (int channel = 1; channel <= Channels; ++channel)
        channelMap.insert(channel, channel);
    QVector<int> usedChannels;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < documents.xml.size(); ++i) {
        model.AddTransmission(channelMap, usedChannels, documents.xml.at(i));
        if (documents.endsTransmission.at(i))
            model.EndTransmission();
    }
    return timer.nsecsElapsed();
}

qint64 Fastest(qint64 (*pass)(const Documents&), const Documents& documents)
{
    qint64 best = pass(documents);
    for (int i = 1; i < Repeats; ++i)
        best = qMin(best, pass(documents));
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    PrepareEnvironment();
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int count = qMax(1000, int(Option(arguments, QStringLiteral("--pieces"),
                                            QStringLiteral("100000")).toInt()
                                     * Scale(arguments)));

    const Documents documents = Generate(count);
    const double bare = Fastest(BareXmlPass, documents) / 1e9;
    const double plain = Fastest(PlainPass, documents) / 1e9;
    const double mapped = Fastest(MappedPass, documents) / 1e9;
    const double characters = double(documents.characters);
    const QString reference = QStringLiteral("bare QXmlStreamReader %1").arg(Rate(characters / bare, "chars"));

    Note(QStringLiteral("intake: %1 pieces on %2 channels, %3 characters, best of %4 runs")
             .arg(count).arg(Channels).arg(documents.characters).arg(Repeats));
    Row(QStringLiteral("1 intake"), QStringLiteral("AddTransmission(xml), plain"),
        Rate(characters / plain, "chars"), reference, plain / bare, QStringLiteral("<= 3"),
        plain / bare <= 3);
    Row(QStringLiteral("1 intake"), QStringLiteral("AddTransmission(map, used, xml), 8 channels"),
        Rate(characters / mapped, "chars"), reference, mapped / bare, QStringLiteral("<= 3"),
        mapped / bare <= 3);
    return 0;
}
