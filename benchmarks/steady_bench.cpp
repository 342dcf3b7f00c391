// Steady state: the cost of one more transmission when the channel's buffer is already full,
// for several buffer sizes, with the model alone and with an open pane for the channel. Each
// transmission is one small piece with its own start time, ended by the host as it arrives, so
// the buffer holds many small blocks.
//
// A full buffer is trimmed whenever it has grown past its size and a tenth, which with small
// blocks is nearly every transmission; in case a trim cuts more at a time, the measurement
// starts right after a trim and ends with one, so it covers whole cycles, as long as its time
// budget allows.
//
//   QT_QPA_PLATFORM=offscreen steady_bench [--scale factor] [--sizes 10000,100000,1000000]
//                                          [--pane on|off|both] [--transmissions n]
//
// With --transmissions exactly n transmissions after the first trim are measured, whole cycles
// or not (for a profiler run); with a single size only the notes are printed.

#include "benchsupport.h"
#include "decodedtextchannel.h"
#include "decodedtextdata.h"
#include "piecegenerator.h"

#include <QApplication>
#include <QElapsedTimer>

#include <memory>

using namespace BenchSupport;

namespace {

constexpr int Channel = 1;
constexpr int EventsEvery = 10;
constexpr int MinTransmissions = 5;

struct Steady
{
    double perTransmission = 0; // seconds
    qint64 transmissions = 0;
    int cuts = 0;               // trims within the measurement
    bool wholeCycles = false;
    qint64 fill = 0;            // transmissions it took to fill the buffer
};

// One channel's model, its pane if any, and the decoder feeding it.
struct Rig
{
    DecodedTextData model;
    std::unique_ptr<DecodedTextChannel> pane;
    PieceGenerator generator;
    int cuts = 0; // trims so far

    explicit Rig(const PieceGenerator::Shape& shape) : generator(shape, 99u) {}

    // One transmission as a host delivers and ends it; returns the time it took.
    qint64 Feed()
    {
        const QString xml = generator.Next().xml;
        QElapsedTimer timer;
        timer.start();
        model.AddTransmission(xml);
        model.EndTransmission();
        return timer.nsecsElapsed();
    }
};

// The measured part on its own and out of line, so that a profiler can be told to count only it.
Q_NEVER_INLINE void RunFullBuffer(Rig& rig, Steady& steady, double minSeconds,
                                  double budgetSeconds, int fixedCount)
{
    qint64 elapsed = 0;
    const int start = rig.cuts;
    while (true) {
        const int before = rig.cuts;
        elapsed += rig.Feed();
        ++steady.transmissions;
        if (rig.pane && steady.transmissions % EventsEvery == 0) {
            QElapsedTimer timer;
            timer.start();
            QApplication::processEvents();
            elapsed += timer.nsecsElapsed();
        }
        if (fixedCount > 0) {
            if (steady.transmissions >= fixedCount)
                break;
            continue;
        }
        if (rig.cuts > before && elapsed >= minSeconds * 1e9
            && steady.transmissions >= MinTransmissions) {
            steady.wholeCycles = true;
            break;
        }
        if (elapsed >= budgetSeconds * 1e9)
            break;
    }
    steady.cuts = rig.cuts - start;
    steady.perTransmission = elapsed / 1e9 / steady.transmissions;
}

Steady Measure(int bufferSize, bool withPane, double minSeconds, double budgetSeconds,
               int fixedCount)
{
    PieceGenerator::Shape shape;
    shape.firstChannel = Channel;
    shape.minLength = 50;
    Rig rig(shape);
    rig.model.SetBufferSize(bufferSize);
    if (withPane) {
        // Made as the view makes it; it connects itself to the model and opens below.
        rig.pane.reset(
            new DecodedTextChannel(QStringLiteral("Channel 1"), Channel, &rig.model, nullptr));
        rig.pane->resize(800, 600);
        rig.pane->show();
    }
    int& cuts = rig.cuts;
    QObject::connect(&rig.model, &DecodedTextData::DataChanged, [&cuts](int channel, bool refresh) {
        if (channel == Channel && refresh)
            ++cuts;
    });

    Steady steady;
    // The pane stays closed while the buffer fills, then opens on the full buffer.
    while (rig.cuts == 0)
        rig.Feed();
    steady.fill = rig.generator.Pieces();
    if (rig.pane)
        rig.pane->ExpandTextArea(true);
    QApplication::processEvents();
    RunFullBuffer(rig, steady, minSeconds, budgetSeconds, fixedCount);
    return steady;
}

QString Describe(int bufferSize, const Steady& steady)
{
    return QStringLiteral("%1: %2 per transmission (%3 transmissions, %4 cuts%5)")
        .arg(bufferSize)
        .arg(Duration(steady.perTransmission))
        .arg(steady.transmissions)
        .arg(steady.cuts)
        .arg(steady.wholeCycles ? QString() : QStringLiteral(", budget ran out within a cycle"));
}

void Series(const QList<int>& sizes, bool withPane, double scale, int fixedCount)
{
    QList<Steady> results;
    for (int size : sizes) {
        results.append(Measure(size, withPane, 2.0 * scale, (withPane ? 40.0 : 10.0) * scale,
                               fixedCount));
        Note(QStringLiteral("steady state, %1: %2, buffer filled after %3 transmissions")
                 .arg(withPane ? "model with open pane" : "model alone",
                      Describe(size, results.last()))
                 .arg(results.last().fill));
    }
    if (results.size() < 2)
        return;
    const double growth = results.last().perTransmission / results.first().perTransmission;
    Row(QStringLiteral("3 steady state"),
        QStringLiteral("%1, buffer %2 -> %3")
            .arg(withPane ? "model + open pane" : "model alone")
            .arg(sizes.first())
            .arg(sizes.last()),
        QStringLiteral("%1 per transmission").arg(Duration(results.last().perTransmission)),
        QStringLiteral("%1 per transmission").arg(Duration(results.first().perTransmission)),
        growth, QStringLiteral("<= 1.25"), growth <= 1.25);
}

} // namespace

int main(int argc, char** argv)
{
    PrepareEnvironment();
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const double scale = Scale(arguments);
    QList<int> sizes;
    for (const QString& size : Option(arguments, QStringLiteral("--sizes"),
                                      QStringLiteral("10000,100000,1000000"))
                                   .split(QLatin1Char(','))) {
        if (size.toInt() >= 1000)
            sizes.append(size.toInt());
    }
    if (sizes.isEmpty()) {
        std::fprintf(stderr, "steady_bench: no buffer size of 1000 or more given\n");
        return 2;
    }
    const int fixedCount = Option(arguments, QStringLiteral("--transmissions"), QStringLiteral("0")).toInt();
    const QString pane = Option(arguments, QStringLiteral("--pane"), QStringLiteral("both"));
    if (pane != QLatin1String("on"))
        Series(sizes, false, scale, fixedCount);
    if (pane != QLatin1String("off"))
        Series(sizes, true, scale, fixedCount);
    return 0;
}
