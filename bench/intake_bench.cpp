// Intake throughput: feeds generated transmissions into one model and compares the time with a
// bare XML pass over the same documents, so that the model's own share of the cost is visible.
//
//   intake_bench [transmissions]      (default 100000)

#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>

#include <cstdio>

using namespace VarnoResultDataXml;

namespace {

constexpr int Channels = 8;
// Pieces of one decoder transmission per channel before the decoder starts a new one; long
// enough that a block outgrows the buffer and is trimmed from the front while it grows.
constexpr int PiecesPerTransmission = 500;

struct Generated {
    QStringList documents;
    qint64 characters = 0;
};

Generated Generate(int count)
{
    static const char words[][8]
        = { "CQ", "DE", "TEST", "QSL", "73", "RST", "599", "NAME", "QTH", "K" };
    Generated out;
    out.documents.reserve(count);
    const QDateTime base = QDateTime(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC);
    int streamPosition[Channels] = {};
    unsigned seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };

    for (int i = 0; i < count; ++i) {
        const int channel = i % Channels;
        const int piece = i / Channels;
        const int transmissionNumber = piece / PiecesPerTransmission;
        if (piece % PiecesPerTransmission == 0)
            streamPosition[channel] = 0;

        QString content;
        while (content.size() < 40) {
            content += QLatin1String(words[next() % 10]);
            content += QLatin1Char(' ');
        }
        // Now and then the decoder loses a few characters.
        if (next() % 16 == 0)
            streamPosition[channel] += 3;

        Transmission transmission;
        transmission.SetStartTime(base.addSecs(transmissionNumber * 3600));
        transmission.SetStopTime(base.addSecs(transmissionNumber * 3600));
        DataBlock* block = new DataBlock(channel + 1, 0, 0);
        block->SetID(channel + 1);
        block->SetContent(content);
        // Three runs of different quality per piece.
        const int runs[3] = { 0, content.size() / 3, 2 * content.size() / 3 };
        for (int run : runs) {
            TimeStamp stamp;
            stamp.Time = base.addMSecs(qint64(i) * 250 + run * 10);
            stamp.Position = streamPosition[channel] + run;
            stamp.Quality = int(next() % 101);
            block->GetTimeStamp().append(stamp);
        }
        streamPosition[channel] += content.size();
        transmission.AddDataBlock(block);
        out.documents.append(transmission.GetXmlString());
        out.characters += content.size();
    }
    return out;
}

qint64 BareXmlPass(const QStringList& documents, qint64* tokens)
{
    QElapsedTimer timer;
    timer.start();
    qint64 seen = 0;
    for (const QString& document : documents) {
        QXmlStreamReader reader(document);
        while (!reader.atEnd()) {
            reader.readNext();
            ++seen;
        }
    }
    *tokens = seen;
    return timer.nsecsElapsed();
}

// What the host's result-data classes alone take to read the same documents, the floor under
// any intake.
qint64 HostParsePass(const QStringList& documents)
{
    QElapsedTimer timer;
    timer.start();
    qint64 blocks = 0;
    for (const QString& document : documents) {
        Transmission transmission;
        transmission.SetXmlString(document);
        blocks += transmission.GetDataBlock().size();
    }
    const qint64 elapsed = timer.nsecsElapsed();
    if (blocks != documents.size())
        std::printf("warning: %lld data blocks read from %d documents\n",
                    static_cast<long long>(blocks), int(documents.size()));
    return elapsed;
}

qint64 ModelPass(const QStringList& documents, qint64* kept)
{
    DecodedTextData model;
    QElapsedTimer timer;
    timer.start();
    for (const QString& document : documents)
        model.AddTransmission(document);
    const qint64 elapsed = timer.nsecsElapsed();
    qint64 characters = 0;
    for (int channel = 1; channel <= Channels; ++channel) {
        for (const auto& block : model.GetChannelData(channel)->blocks)
            characters += block->text.size();
    }
    *kept = characters;
    return elapsed;
}

// The same documents through the intake with a channel map, so that every piece is also merged
// into the aggregation channel. The host ends each transmission; without that the one open
// aggregation block would collect the whole run.
qint64 MappedPass(const QStringList& documents, qint64* merged)
{
    // Every channel mark asks for the user's name; the stand-in user service would look the
    // login up in the password database each time, where the host answers from its session.
    if (!qEnvironmentVariableIsSet("VX_USER"))
        qputenv("VX_USER", "bench");
    DecodedTextData model;
    QMap<int, int> channelMap;
    for (int channel = 1; channel <= Channels; ++channel)
        channelMap.insert(channel, channel);
    QVector<int> usedChannels;
    const int perTransmission = PiecesPerTransmission * Channels;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < documents.size(); ++i) {
        if (i > 0 && i % perTransmission == 0)
            model.EndTransmission();
        model.AddTransmission(channelMap, usedChannels, documents.at(i));
    }
    const qint64 elapsed = timer.nsecsElapsed();
    qint64 characters = 0;
    for (const auto& block : model.GetChannelData(DecodedTextData::AggregationChannelID)->blocks)
        characters += block->text.size();
    *merged = characters;
    return elapsed;
}

// The generated pieces overlap in time: the last run of a piece is later than the first run of
// the next piece on another channel, so the merge puts one run per piece in front of the run
// before it. The same documents with the runs of a piece squeezed into its own 250 ms arrive in
// time order and show the cost of merging at the end of the aggregation block alone.
QStringList InTimeOrder(const QStringList& documents)
{
    QStringList out;
    out.reserve(documents.size());
    for (const QString& document : documents) {
        Transmission transmission;
        transmission.SetXmlString(document);
        for (DataBlock* block : transmission.GetDataBlock()) {
            QVector<TimeStamp>& stamps = block->GetTimeStamp();
            for (int k = stamps.size() - 1; k > 0; --k)
                stamps[k].Time = stamps.first().Time.addMSecs(
                    (stamps[k].Position - stamps.first().Position) * 5);
        }
        out.append(transmission.GetXmlString());
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int count = 100000;
    if (argc > 1)
        count = qMax(1, QString::fromLocal8Bit(argv[1]).toInt());

    const Generated generated = Generate(count);
    qint64 xmlBytes = 0;
    for (const QString& document : generated.documents)
        xmlBytes += document.size();

    qint64 tokens = 0;
    qint64 kept = 0;
    const qint64 bare = BareXmlPass(generated.documents, &tokens);
    const qint64 host = HostParsePass(generated.documents);
    const qint64 model = ModelPass(generated.documents, &kept);

    const double bareSeconds = bare / 1e9;
    const double modelSeconds = model / 1e9;
    std::printf("transmissions:          %d on %d channels, %lld characters, %lld XML characters\n",
                count, Channels, static_cast<long long>(generated.characters),
                static_cast<long long>(xmlBytes));
    std::printf("bare QXmlStreamReader:  %.3f s (%lld tokens), %.0f characters/s\n", bareSeconds,
                static_cast<long long>(tokens), generated.characters / bareSeconds);
    std::printf("host SetXmlString only: %.3f s, %.0f characters/s\n", host / 1e9,
                generated.characters / (host / 1e9));
    std::printf("model AddTransmission:  %.3f s, %.0f characters/s (%lld characters kept)\n",
                modelSeconds, generated.characters / modelSeconds, static_cast<long long>(kept));
    std::printf("ratio model / bare XML: %.2f (model / host parse: %.2f)\n",
                modelSeconds / bareSeconds, double(model) / double(host));

    qint64 merged = 0;
    const qint64 mapped = MappedPass(generated.documents, &merged);
    const double mappedSeconds = mapped / 1e9;
    std::printf(
        "mapped AddTransmission: %.3f s, %.0f characters/s (%lld characters in channel 0)\n",
        mappedSeconds, generated.characters / mappedSeconds, static_cast<long long>(merged));
    std::printf("ratio mapped / plain:   %.2f\n", mappedSeconds / modelSeconds);

    const QStringList ordered = InTimeOrder(generated.documents);
    qint64 orderedKept = 0;
    qint64 orderedMerged = 0;
    const double orderedPlain = ModelPass(ordered, &orderedKept) / 1e9;
    const double orderedMapped = MappedPass(ordered, &orderedMerged) / 1e9;
    std::printf("in time order: plain %.3f s, mapped %.3f s, ratio mapped / plain: %.2f\n",
                orderedPlain, orderedMapped, orderedMapped / orderedPlain);
    return 0;
}
