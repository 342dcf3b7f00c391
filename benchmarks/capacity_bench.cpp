// Capacity: a bank of decoders, each delivering a piece of text every second, merged into the
// aggregation channel of a shown view (offscreen) whose aggregation pane and one decoder pane
// are open, the other panes closed. Reports the process's CPU time per simulated second as the
// share of one core it would take to keep up in real time.
//
// By default the pieces of one simulated second arrive together and the events are processed
// after them, as a host's event loop would between two such deliveries. With --spread every
// piece comes in a turn of the event loop of its own, as from decoders that deliver
// independently over connections of their own; the view then also paints after every piece.
// Making the documents is the host's work and is left out of the CPU time; the first second,
// which makes the panes, too.
//
//   QT_QPA_PLATFORM=offscreen capacity_bench [--scale factor] [--channels n] [--seconds s]
//                                            [--budget s] [--offline] [--newlines] [--spread]
//                                            [--watch n]
//
// channels defaults to 100, seconds (simulated) to 600; the run stops earlier once it has used
// budget seconds of CPU time (default 60), and the share is taken over what it simulated.
// With --watch, a second view with n watch words (two of them words the decoders send, the
// others call signs they do not) gets the same pieces in the same run, the two views taking
// turns in going first, and the row compares the CPU time of the watching view with the
// other's. Without it, a second row gives the longest stall of the event loop during the
// measured seconds: the largest gap between two ticks of a 10 ms timer. With the pieces of a
// second delivered at once that gap holds the whole second's work (at a quarter of a core,
// 250 ms); with --spread it holds the work of one piece and one paint.

#include "benchsupport.h"
#include "decodedtextchannel.h"
#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "decodedtextwatch.h"
#include "piecegenerator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QTimer>
#include <QVector>

#include <memory>

using namespace BenchSupport;

namespace {

constexpr int OpenDecoderChannel = 1;
// The host ends a transmission every simulated minute.
constexpr int RoundsPerTransmission = 60;
// Pieces of 48 characters and more average about 50.
constexpr int PieceLength = 48;

} // namespace

int main(int argc, char** argv)
{
    PrepareEnvironment();
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const double scale = Scale(arguments);
    const int channels = qMax(1, Option(arguments, QStringLiteral("--channels"),
                                        QStringLiteral("100")).toInt());
    const double seconds = Option(arguments, QStringLiteral("--seconds"),
                                  QStringLiteral("600")).toDouble() * scale;
    const double budget = Option(arguments, QStringLiteral("--budget"),
                                 QStringLiteral("60")).toDouble() * scale;
    const bool offline = arguments.contains(QStringLiteral("--offline"));
    // Decoders whose text carries line breaks now and then, so that the aggregation block is
    // many short lines instead of one that grows all transmission long.
    const bool newlines = arguments.contains(QStringLiteral("--newlines"));
    const bool spread = arguments.contains(QStringLiteral("--spread"));

    const int watchWords =
        Option(arguments, QStringLiteral("--watch"), QStringLiteral("0")).toInt();
    // views[0] is the plain one; with --watch, views[1] watches.
    std::vector<std::unique_ptr<DecodedTextView>> views;
    for (int v = 0; v < (watchWords > 0 ? 2 : 1); ++v) {
        views.emplace_back(new DecodedTextView);
        views.back()->resize(1200, 900);
        views.back()->show();
        views.back()->SetOffline(offline);
    }
    if (watchWords > 0) {
        QStringList words{ QStringLiteral("QTH"), QStringLiteral("TEST") };
        for (int i = 2; i < watchWords; ++i)
            words << QStringLiteral("DL%1XYZ").arg(i);
        views.back()->Watch()->SetWords(words);
    }
    qint64 hits = 0;
    if (watchWords > 0)
        QObject::connect(views.back()->Watch(), &DecodedTextWatch::Hit, [&hits] { ++hits; });
    DecodedTextView& view = *views.front();
    QMap<int, int> channelMap;
    for (int channel = 1; channel <= channels; ++channel)
        channelMap.insert(channel, channel);
    QVector<int> usedChannels;

    PieceGenerator::Shape shape;
    shape.channels = channels;
    shape.minLength = PieceLength;
    shape.roundsPerTransmission = RoundsPerTransmission;
    shape.newlines = newlines;
    PieceGenerator generator(shape, 777u);

    QVector<PieceGenerator::Piece> round;
    auto nextRound = [&round, &generator, channels]() {
        round.clear();
        for (int i = 0; i < channels; ++i)
            round.append(generator.Next());
    };
    auto deliver = [&round, &channelMap, &usedChannels, spread](DecodedTextView& target) {
        for (const PieceGenerator::Piece& piece : qAsConst(round)) {
            target.AddTransmission(channelMap, usedChannels, piece.xml);
            if (piece.endsTransmission)
                target.EndTransmission();
            if (spread)
                QApplication::processEvents();
        }
        QApplication::processEvents();
    };

    // The first second makes the panes; the view opens the first, the aggregation channel's.
    nextRound();
    for (auto& v : views) {
        deliver(*v);
        for (DecodedTextChannel* pane : v->findChildren<DecodedTextChannel*>()) {
            if (pane->GetChannel() == OpenDecoderChannel)
                pane->ExpandTextArea(true);
        }
    }
    QApplication::processEvents();
    int open = 0;
    for (DecodedTextChannel* pane : view.findChildren<DecodedTextChannel*>())
        open += pane->IsExpanded() ? 1 : 0;
    const qint64 startCharacters = generator.Characters();
    const qint64 startMilliseconds = generator.SimulatedMilliseconds();

    // The ticks of a 10 ms timer show how long the event loop went unserved.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&sinceTick, &longestStall] {
        longestStall = qMax(longestStall, sinceTick.restart());
    });
    ticker.start(10);
    sinceTick.start();

    // CPU time of each simulated second, to tell whether the cost grows as the run goes on.
    QVector<double> perRound;
    QVector<double> cpuOf(int(views.size()), 0.0);
    double cpu = 0;
    double simulated = 0;
    while (simulated < seconds && cpu < budget) {
        nextRound();
        double spent = 0;
        for (size_t k = 0; k < views.size(); ++k) {
            // Taking turns in going first, so that neither view always meets warm caches.
            const size_t v = (perRound.size() % 2 == 0) ? k : views.size() - 1 - k;
            const double before = CpuSeconds();
            deliver(*views[v]);
            const double used = CpuSeconds() - before;
            cpuOf[int(v)] += used;
            spent += used;
        }
        perRound.append(spent);
        cpu += spent;
        simulated = (generator.SimulatedMilliseconds() - startMilliseconds) / 1000.0;
    }
    ticker.stop();
    const int tenth = qMax(1, int(perRound.size() / 10));
    double firstTenth = 0;
    double lastTenth = 0;
    for (int i = 0; i < tenth; ++i) {
        firstTenth += perRound.at(i);
        lastTenth += perRound.at(perRound.size() - 1 - i);
    }

    const double perChannel = (generator.Characters() - startCharacters) / simulated / channels;
    const QString shapeText = QStringLiteral("%1 channels x %2 chars/s, mapped, %3%4%5")
                                  .arg(channels)
                                  .arg(perChannel, 0, 'f', 0)
                                  .arg(offline ? "offline" : "online")
                                  .arg(newlines ? ", with line breaks" : "")
                                  .arg(spread ? ", a turn per piece" : ", a second at once");
    if (watchWords > 0) {
        const double ratio = cpuOf.at(1) / qMax(cpuOf.at(0), 1e-9);
        Row(QStringLiteral("5 capacity"),
            QStringLiteral("%1 watch words; %2").arg(watchWords).arg(shapeText),
            QStringLiteral("%1 CPU for %2 simulated, watching")
                .arg(Duration(cpuOf.at(1)), Duration(simulated)),
            QStringLiteral("%1 CPU without watch words").arg(Duration(cpuOf.at(0))), ratio,
            QStringLiteral("<= 1.10"), ratio <= 1.10);
        Note(QStringLiteral("capacity with watch words: %1 hits told in %2 simulated seconds")
                 .arg(hits)
                 .arg(simulated, 0, 'f', 0));
        return 0;
    }
    const double share = cpu / simulated;
    // One long line per transmission costs more to lay out than many short ones.
    const double shareTarget = newlines ? 0.10 : 0.25;
    Row(QStringLiteral("5 capacity"),
        QStringLiteral("%1; aggregation + 1 decoder pane open").arg(shapeText),
        QStringLiteral("%1 CPU for %2 simulated").arg(Duration(cpu), Duration(simulated)),
        QStringLiteral("one core"), share, QStringLiteral("< %1").arg(shareTarget, 0, 'f', 2),
        share < shareTarget && simulated >= seconds);
    const double growth = lastTenth / qMax(firstTenth, 1e-9);
    Row(QStringLiteral("5 capacity"), QStringLiteral("%1; last tenth of the run").arg(shapeText),
        QStringLiteral("%1 CPU").arg(Duration(lastTenth)),
        QStringLiteral("first tenth %1 CPU").arg(Duration(firstTenth)), growth,
        QStringLiteral("<= 1.25"), growth <= 1.25);
    Row(QStringLiteral("5 responsiveness"),
        QStringLiteral("%1; longest gap between ticks of a 10 ms timer").arg(shapeText),
        QStringLiteral("%1 ms").arg(longestStall), QStringLiteral("50 ms"),
        longestStall / 50.0, QStringLiteral("<= 1 (50 ms)"), longestStall <= 50);
    Note(QStringLiteral("capacity: %1 panes, %2 open; %3 of %4 simulated seconds run%5; share "
                        "of one core in the first tenth of the run %6, in the last tenth %7")
             .arg(view.findChildren<DecodedTextChannel*>().size())
             .arg(open)
             .arg(simulated, 0, 'f', 0)
             .arg(seconds, 0, 'f', 0)
             .arg(simulated < seconds ? QStringLiteral(", stopped by the CPU budget")
                                      : QString())
             .arg(firstTenth / tenth, 0, 'f', 2)
             .arg(lastTenth / tenth, 0, 'f', 2));
    return 0;
}
