// Steady-state cost of one transmission in the model alone, against the buffer size: one
// channel is filled past its limit with short transmissions, each ended by EndTransmission,
// then a run of further transmissions is timed. The cost should not grow with the buffer.
//
//   model_bench [transmissions] [buffer sizes...]   (default 20000; 10000 100000 1000000)
//
// "plain" is AddTransmission(xml) + EndTransmission(); "mapped" sends the same documents through
// the intake with a channel map, whose aggregation channel keeps every block it was given;
// "parse" is the host's SetXmlString alone on the timed documents, the floor under both.

#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QStringList>
#include <QVector>

#include <cstdio>

using namespace VarnoResultDataXml;

namespace {

constexpr int Channel = 1;
constexpr int CharactersPerTransmission = 50;

QStringList Generate(int first, int count)
{
    static const char words[][8]
        = { "CQ", "DE", "TEST", "QSL", "73", "RST", "599", "NAME", "QTH", "K" };
    const QDateTime base = QDateTime(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC);
    QStringList out;
    out.reserve(count);
    unsigned seed = 12345u + unsigned(first);
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int i = first; i < first + count; ++i) {
        QString content;
        while (content.size() < CharactersPerTransmission - 5) {
            content += QLatin1String(words[next() % 10]);
            content += QLatin1Char(' ');
        }
        content.truncate(CharactersPerTransmission);
        Transmission transmission;
        const QDateTime start = base.addSecs(i);
        transmission.SetStartTime(start);
        transmission.SetStopTime(start.addSecs(1));
        DataBlock* block = new DataBlock(Channel, 0, 0);
        block->SetID(Channel);
        block->SetContent(content);
        const int runs[3] = { 0, content.size() / 3, 2 * content.size() / 3 };
        for (int run : runs) {
            TimeStamp stamp;
            stamp.Time = start.addMSecs(run * 10);
            stamp.Position = run;
            stamp.Quality = int(next() % 101);
            block->GetTimeStamp().append(stamp);
        }
        transmission.AddDataBlock(block);
        out.append(transmission.GetXmlString());
    }
    return out;
}

// The timed loops on their own, so that a profiler can be told to count only them
// (valgrind --tool=callgrind --toggle-collect='*TimedPlain*').
Q_NEVER_INLINE void TimedPlain(DecodedTextData& model, const QStringList& documents)
{
    for (const QString& document : documents) {
        model.AddTransmission(document);
        model.EndTransmission();
    }
}

Q_NEVER_INLINE void TimedMapped(DecodedTextData& model, const QMap<int, int>& channelMap,
                                 QVector<int>& used, const QStringList& documents)
{
    for (const QString& document : documents) {
        model.AddTransmission(channelMap, used, document);
        model.EndTransmission();
    }
}

struct Pass {
    double plain = 0;  // ns per transmission
    double mapped = 0;
    double parse = 0;
    int blocks = 0;    // blocks in the channel when the timing ended
};

Pass Measure(int bufferSize, int timed)
{
    // Enough to reach the limit and go through a few trimming rounds before the timing starts.
    const int fill = (bufferSize + bufferSize / 2) / CharactersPerTransmission + 200;
    const QStringList filling = Generate(0, fill);
    const QStringList documents = Generate(fill, timed);
    Pass pass;

    {
        DecodedTextData model;
        model.SetBufferSize(bufferSize);
        for (const QString& document : filling) {
            model.AddTransmission(document);
            model.EndTransmission();
        }
        QElapsedTimer timer;
        timer.start();
        TimedPlain(model, documents);
        pass.plain = double(timer.nsecsElapsed()) / timed;
        pass.blocks = model.GetChannelData(Channel)->blocks.size();
    }
    {
        DecodedTextData model;
        model.SetBufferSize(bufferSize);
        const QMap<int, int> channelMap { { Channel, Channel } };
        QVector<int> used;
        for (const QString& document : filling) {
            model.AddTransmission(channelMap, used, document);
            model.EndTransmission();
        }
        QElapsedTimer timer;
        timer.start();
        TimedMapped(model, channelMap, used, documents);
        pass.mapped = double(timer.nsecsElapsed()) / timed;
    }
    {
        QElapsedTimer timer;
        timer.start();
        int blocks = 0;
        for (const QString& document : documents) {
            Transmission transmission;
            transmission.SetXmlString(document);
            blocks += transmission.GetDataBlock().size();
        }
        pass.parse = double(timer.nsecsElapsed()) / timed;
        if (blocks != timed)
            std::printf("warning: %d data blocks in %d documents\n", blocks, timed);
    }
    return pass;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Channel marks ask for the user's name; keep the password database out of the figures.
    if (!qEnvironmentVariableIsSet("VX_USER"))
        qputenv("VX_USER", "bench");
    const QStringList args = app.arguments();
    int timed = 20000;
    if (args.size() > 1)
        timed = qMax(1, args.at(1).toInt());
    QVector<int> sizes;
    for (int i = 2; i < args.size(); ++i)
        sizes.append(qMax(1000, args.at(i).toInt()));
    if (sizes.isEmpty())
        sizes = { 10000, 100000, 1000000 };

    std::printf("%d timed transmissions of %d characters, one channel, us per transmission\n",
                timed, CharactersPerTransmission);
    std::printf("%10s %8s %9s %9s %9s %11s %12s\n", "buffer", "blocks", "plain", "mapped",
                "parse", "plain/first", "mapped/first");
    double firstPlain = 0;
    double firstMapped = 0;
    for (int size : qAsConst(sizes)) {
        const Pass pass = Measure(size, timed);
        if (firstPlain == 0) {
            firstPlain = pass.plain;
            firstMapped = pass.mapped;
        }
        std::printf("%10d %8d %9.2f %9.2f %9.2f %11.2f %12.2f\n", size, pass.blocks,
                    pass.plain / 1000, pass.mapped / 1000, pass.parse / 1000,
                    pass.plain / firstPlain, pass.mapped / firstMapped);
    }
    return 0;
}
