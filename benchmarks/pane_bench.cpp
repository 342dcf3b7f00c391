// A shown view (offscreen) with one open channel pane, fed generated pieces through its
// AddTransmission and ended transmission by transmission as a host does, against a bare
// QPlainTextEdit that receives the same characters at its end through a QTextCursor, with the
// same formats for the runs below the quality threshold when colour coding is on. Both get the
// same event processing (painting included). The buffer keeps every character, so each piece is
// an append; trimming is the steady-state benchmark's subject.
//
// The pane's share is the view's time less the time of the same intake into a model alone.
//
//   QT_QPA_PLATFORM=offscreen pane_bench [--scale factor] [--pieces n] [--colour on|off|both]
//
// pieces defaults to 5000 (about 200 000 characters).

#include "benchsupport.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "piecegenerator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVector>

using namespace BenchSupport;

namespace {

constexpr int Channel = 1;
constexpr int RoundsPerTransmission = 10;
constexpr int EventsEvery = 100;
constexpr int Threshold = 60;
constexpr int Repeats = 2;

struct Input
{
    QVector<PieceGenerator::Piece> pieces;
    qint64 characters = 0; // those the timed part delivers, all but the first piece's
    int keepAll = 0;       // a buffer size that trims nothing
};

Input Generate(int count)
{
    PieceGenerator::Shape shape;
    shape.firstChannel = Channel;
    shape.runs = 4;
    shape.roundsPerTransmission = RoundsPerTransmission;
    PieceGenerator generator(shape, 4711u);
    Input input;
    input.pieces.reserve(count);
    for (int i = 0; i < count; ++i)
        input.pieces.append(generator.Next());
    input.characters = generator.Characters() - input.pieces.first().text.size();
    input.keepAll = int(qMin<qint64>(generator.Characters() * 2, 100000000));
    return input;
}

// The first piece of each pass goes in before the timer starts: it makes the pane.
qint64 ModelPass(const Input& input)
{
    DecodedTextData model;
    model.SetBufferSize(input.keepAll);
    model.SetQualityThreshold(Threshold);
    model.AddTransmission(input.pieces.first().xml);
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i < input.pieces.size(); ++i) {
        model.AddTransmission(input.pieces.at(i).xml);
        if (input.pieces.at(i).endsTransmission)
            model.EndTransmission();
    }
    return timer.nsecsElapsed();
}

// Out of line, so that a profiler can be told to count only this pass.
Q_NEVER_INLINE qint64 ViewPass(const Input& input, bool colourCoding, int* lines)
{
    DecodedTextView view;
    view.resize(800, 600);
    view.show();
    view.SetBufferSize(input.keepAll);
    view.SetQualityThreshold(Threshold);
    view.AddTransmission(input.pieces.first().xml);
    auto* content = view.findChild<DecodedTextContent*>();
    if (content)
        QMetaObject::invokeMethod(content, "SlotColorCoding", Q_ARG(bool, colourCoding));
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i < input.pieces.size(); ++i) {
        view.AddTransmission(input.pieces.at(i).xml);
        if (input.pieces.at(i).endsTransmission)
            view.EndTransmission();
        if (i % EventsEvery == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    const qint64 elapsed = timer.nsecsElapsed();
    *lines = content ? content->document()->blockCount() : 0;
    return elapsed;
}

qint64 BarePass(const Input& input, bool colourCoding, int* lines)
{
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.resize(800, 600);
    edit.show();
    const QTextCharFormat normal = edit.currentCharFormat();
    QTextCharFormat low = normal;
    low.setForeground(QBrush(QColor(255, 0, 0)));
    {
        QTextCursor cursor = edit.textCursor();
        PieceGenerator::Insert(cursor, input.pieces.first(), colourCoding, Threshold, normal, low);
        edit.setTextCursor(cursor);
    }
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i < input.pieces.size(); ++i) {
        QTextCursor cursor = edit.textCursor();
        cursor.movePosition(QTextCursor::End);
        // One empty line between two transmissions, as the pane shows them.
        if (input.pieces.at(i - 1).endsTransmission) {
            cursor.insertBlock();
            cursor.insertBlock();
        }
        PieceGenerator::Insert(cursor, input.pieces.at(i), colourCoding, Threshold, normal, low);
        edit.setTextCursor(cursor);
        if (i % EventsEvery == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    const qint64 elapsed = timer.nsecsElapsed();
    *lines = edit.document()->blockCount();
    return elapsed;
}

void Compare(const Input& input, double model, bool colourCoding)
{
    qint64 view = -1;
    qint64 bare = -1;
    int viewLines = 0;
    int bareLines = 0;
    for (int r = 0; r < Repeats; ++r) {
        const qint64 v = ViewPass(input, colourCoding, &viewLines);
        const qint64 b = BarePass(input, colourCoding, &bareLines);
        view = view < 0 ? v : qMin(view, v);
        bare = bare < 0 ? b : qMin(bare, b);
    }
    const double characters = double(input.characters);
    const double pane = qMax(view / 1e9 - model, 1e-9);
    const double bareSeconds = bare / 1e9;
    const double target = colourCoding ? 2.0 : 1.5;
    Row(QStringLiteral("2 view pane"),
        QStringLiteral("DecodedTextView pane, colour coding %1").arg(colourCoding ? "on" : "off"),
        Rate(characters / pane, "chars"),
        QStringLiteral("bare QPlainTextEdit %1").arg(Rate(characters / bareSeconds, "chars")),
        pane / bareSeconds, QStringLiteral("<= %1").arg(target), pane / bareSeconds <= target);
    Note(QStringLiteral("view pane, colour coding %1: view with intake %2, %3 lines (bare edit %4 lines)")
             .arg(colourCoding ? "on" : "off", Rate(characters / (view / 1e9), "chars"))
             .arg(viewLines)
             .arg(bareLines));
}

} // namespace

int main(int argc, char** argv)
{
    PrepareEnvironment();
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const int count = qMax(200, int(Option(arguments, QStringLiteral("--pieces"),
                                           QStringLiteral("5000")).toInt()
                                    * Scale(arguments)));
    const QString colour = Option(arguments, QStringLiteral("--colour"), QStringLiteral("both"));

    const Input input = Generate(count);
    qint64 model = ModelPass(input);
    for (int r = 1; r < Repeats; ++r)
        model = qMin(model, ModelPass(input));
    const double modelSeconds = model / 1e9;
    Note(QStringLiteral("view pane: %1 pieces, %2 characters, transmissions of %3 pieces, events "
                        "every %4 pieces, best of %5 runs; model intake alone %6")
             .arg(count).arg(input.characters).arg(RoundsPerTransmission).arg(EventsEvery)
             .arg(Repeats).arg(Rate(input.characters / modelSeconds, "chars")));
    if (colour != QLatin1String("on"))
        Compare(input, modelSeconds, false);
    if (colour != QLatin1String("off"))
        Compare(input, modelSeconds, true);
    return 0;
}
