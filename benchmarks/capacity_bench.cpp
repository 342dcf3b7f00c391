// Capacity: a bank of decoders, each delivering a piece of text every second, merged into the
// aggregation channel of a shown view (offscreen) whose aggregation pane and one decoder pane
// are open, the other panes closed. Reports the process's CPU time per simulated second as the
// share of one core it would take to keep up in real time.
//
// The pieces of one simulated second arrive together and the events are processed after them,
// as a host's event loop would between two deliveries. Making the documents is the host's work
// and is left out of the CPU time; the first second, which makes the panes, too.
//
//   QT_QPA_PLATFORM=offscreen capacity_bench [--scale factor] [--channels n] [--seconds s]
//                                            [--budget s] [--offline] [--newlines]
//
// channels defaults to 100, seconds (simulated) to 600; the run stops earlier once it has used
// budget seconds of CPU time (default 60), and the share is taken over what it simulated.

#include "benchsupport.h"
#include "decodedtextchannel.h"
#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "piecegenerator.h"

#include <QApplication>
#include <QMap>
#include <QVector>

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

    DecodedTextView view;
    view.resize(1200, 900);
    view.show();
    view.SetOffline(offline);
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
    auto deliver = [&round, &view, &channelMap, &usedChannels]() {
        for (const PieceGenerator::Piece& piece : qAsConst(round)) {
            view.AddTransmission(channelMap, usedChannels, piece.xml);
            if (piece.endsTransmission)
                view.EndTransmission();
        }
        QApplication::processEvents();
    };

    // The first second makes the panes; the view opens the first, the aggregation channel's.
    nextRound();
    deliver();
    for (DecodedTextChannel* pane : view.findChildren<DecodedTextChannel*>()) {
        if (pane->GetChannel() == OpenDecoderChannel)
            pane->ExpandTextArea(true);
    }
    QApplication::processEvents();
    int open = 0;
    for (DecodedTextChannel* pane : view.findChildren<DecodedTextChannel*>())
        open += pane->IsExpanded() ? 1 : 0;
    const qint64 startCharacters = generator.Characters();
    const qint64 startMilliseconds = generator.SimulatedMilliseconds();

    // CPU time of each simulated second, to tell whether the cost grows as the run goes on.
    QVector<double> perRound;
    double cpu = 0;
    double simulated = 0;
    while (simulated < seconds && cpu < budget) {
        nextRound();
        const double before = CpuSeconds();
        deliver();
        perRound.append(CpuSeconds() - before);
        cpu += perRound.last();
        simulated = (generator.SimulatedMilliseconds() - startMilliseconds) / 1000.0;
    }
    const int tenth = qMax(1, int(perRound.size() / 10));
    double firstTenth = 0;
    double lastTenth = 0;
    for (int i = 0; i < tenth; ++i) {
        firstTenth += perRound.at(i);
        lastTenth += perRound.at(perRound.size() - 1 - i);
    }

    const double share = cpu / simulated;
    const double perChannel = (generator.Characters() - startCharacters) / simulated / channels;
    Row(QStringLiteral("5 capacity"),
        QStringLiteral("%1 channels x %2 chars/s, mapped, %3%4; aggregation + 1 decoder pane open")
            .arg(channels)
            .arg(perChannel, 0, 'f', 0)
            .arg(offline ? "offline" : "online")
            .arg(newlines ? ", with line breaks" : ""),
        QStringLiteral("%1 CPU for %2 simulated").arg(Duration(cpu), Duration(simulated)),
        QStringLiteral("one core"), share, QStringLiteral("< 0.10"), share < 0.10);
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
