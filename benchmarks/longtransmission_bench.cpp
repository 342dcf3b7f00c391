// One long transmission that never ends: a decoder keeps sending pieces into the same block,
// which the buffer trims from its front once it is full. A shown view (offscreen) with the
// channel's pane open gets the pieces through its AddTransmission, events processed after every
// piece; the reference is a bare QPlainTextEdit bounded to the buffer size (its front lines
// removed as it grows) that receives the same characters at its end through a QTextCursor, with
// the same formats for the runs below the quality threshold when colour coding is on, and the
// same event processing.
//
// Both start full: the buffer is filled with the pane closed (the pane opens on it), the bare
// edit with the same characters, so the measured pieces are all steady-state ones. The
// decoder's text carries a line break now and then (about one per piece), as a long
// transmission of a talkative station does; without any, the bare edit would lay the whole
// buffer out as one paragraph on every piece, as the pane does.
//
//   QT_QPA_PLATFORM=offscreen longtransmission_bench [--scale factor] [--pieces n]
//                       [--sizes 10000,1000000] [--colour on|off|both]
//
// pieces (the measured ones) defaults to 20000, about 840 000 characters.

#include "benchsupport.h"
#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "piecegenerator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QVector>

using namespace BenchSupport;

namespace {

constexpr int Channel = 1;
constexpr int Threshold = 60;

struct Input
{
    QVector<PieceGenerator::Piece> fill;     // fills the buffer before the measurement
    QVector<PieceGenerator::Piece> measured;
    qint64 characters = 0;                   // of the measured pieces
};

Input Generate(int bufferSize, int count)
{
    PieceGenerator::Shape shape;
    shape.firstChannel = Channel;
    shape.runs = 4;
    shape.newlines = true;
    shape.roundsPerTransmission = 1 << 30; // never ends
    PieceGenerator generator(shape, 4711u);
    Input input;
    // Past the size and its tenth of margin: the buffer has been trimmed once.
    while (generator.Characters() < qint64(bufferSize) * 11 / 10 + 1000)
        input.fill.append(generator.Next());
    const qint64 before = generator.Characters();
    input.measured.reserve(count);
    for (int i = 0; i < count; ++i)
        input.measured.append(generator.Next());
    input.characters = generator.Characters() - before;
    return input;
}

qint64 ModelPass(const Input& input, int bufferSize, int* trims)
{
    DecodedTextData model;
    model.SetBufferSize(bufferSize);
    model.SetQualityThreshold(Threshold);
    for (const PieceGenerator::Piece& piece : input.fill)
        model.AddTransmission(piece.xml);
    QObject::connect(&model, &DecodedTextData::DataChanged, [trims](int channel, bool refresh) {
        if (channel == Channel && refresh)
            ++*trims;
    });
    QElapsedTimer timer;
    timer.start();
    for (const PieceGenerator::Piece& piece : input.measured)
        model.AddTransmission(piece.xml);
    return timer.nsecsElapsed();
}

// Out of line, so that a profiler can be told to count only this pass.
Q_NEVER_INLINE qint64 ViewPass(const Input& input, int bufferSize, bool colourCoding,
                               int* characters)
{
    DecodedTextView view;
    view.resize(800, 600);
    view.show();
    view.SetBufferSize(bufferSize);
    view.SetQualityThreshold(Threshold);
    view.AddTransmission(input.fill.first().xml);
    auto* pane = view.findChild<DecodedTextChannel*>();
    auto* content = view.findChild<DecodedTextContent*>();
    if (!pane || !content)
        return -1;
    // Filled while closed, opened on the full buffer.
    pane->ExpandTextArea(false);
    for (int i = 1; i < input.fill.size(); ++i)
        view.AddTransmission(input.fill.at(i).xml);
    pane->ExpandTextArea(true);
    QMetaObject::invokeMethod(content, "SlotColorCoding", Q_ARG(bool, colourCoding));
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    for (const PieceGenerator::Piece& piece : input.measured) {
        view.AddTransmission(piece.xml);
        QApplication::processEvents();
    }
    const qint64 elapsed = timer.nsecsElapsed();
    *characters = content->document()->characterCount();
    return elapsed;
}

// Whole lines leave the front once the text is longer than the bound.
void Bound(QPlainTextEdit& edit, int bufferSize)
{
    QTextDocument* doc = edit.document();
    const int excess = doc->characterCount() - bufferSize;
    if (excess <= 0)
        return;
    const QTextBlock keep = doc->findBlock(excess);
    const int cut = keep.next().isValid() ? keep.next().position() : keep.position();
    if (cut <= 0)
        return;
    QTextCursor front(doc);
    front.setPosition(cut, QTextCursor::KeepAnchor);
    front.removeSelectedText();
}

qint64 BarePass(const Input& input, int bufferSize, bool colourCoding, int* characters)
{
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.setUndoRedoEnabled(false);
    edit.resize(800, 600);
    edit.show();
    const QTextCharFormat normal = edit.currentCharFormat();
    QTextCharFormat low = normal;
    low.setForeground(QBrush(QColor(255, 0, 0)));
    {
        QTextCursor cursor = edit.textCursor();
        for (const PieceGenerator::Piece& piece : input.fill) {
            PieceGenerator::Insert(cursor, piece, colourCoding, Threshold, normal, low);
            Bound(edit, bufferSize);
        }
        edit.setTextCursor(cursor);
    }
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    for (const PieceGenerator::Piece& piece : input.measured) {
        QTextCursor cursor = edit.textCursor();
        cursor.movePosition(QTextCursor::End);
        PieceGenerator::Insert(cursor, piece, colourCoding, Threshold, normal, low);
        Bound(edit, bufferSize);
        edit.setTextCursor(cursor);
        QApplication::processEvents();
    }
    const qint64 elapsed = timer.nsecsElapsed();
    *characters = edit.document()->characterCount();
    return elapsed;
}

// Nanoseconds per measured piece, for the growth from the smallest buffer to the largest.
struct Cost
{
    double model = 0;
    double view = 0;
};

Cost Compare(int bufferSize, int count, bool colourCoding)
{
    const Input input = Generate(bufferSize, count);
    int trims = 0;
    const qint64 model = ModelPass(input, bufferSize, &trims);
    int viewCharacters = 0;
    int bareCharacters = 0;
    const qint64 view = ViewPass(input, bufferSize, colourCoding, &viewCharacters);
    const qint64 bare = BarePass(input, bufferSize, colourCoding, &bareCharacters);
    if (view <= 0 || bare <= 0) {
        std::fprintf(stderr, "longtransmission_bench: no pane to measure\n");
        return {};
    }
    const double characters = double(input.characters);
    const double ratio = double(view) / double(bare);
    const double target = colourCoding ? 2.0 : 1.5;
    Row(QStringLiteral("6 long transmission"),
        QStringLiteral("open transmission, buffer %1, colour coding %2")
            .arg(bufferSize)
            .arg(colourCoding ? "on" : "off"),
        QStringLiteral("view %1").arg(Rate(characters / (view / 1e9), "chars")),
        QStringLiteral("bare QPlainTextEdit %1").arg(Rate(characters / (bare / 1e9), "chars")),
        ratio, QStringLiteral("<= %1").arg(target), ratio <= target);
    Note(QStringLiteral("long transmission, buffer %1, colour coding %2: %3 pieces, %4 characters "
                        "measured after %5 filled the buffer; %6 trims; model intake alone %7; "
                        "%8 characters shown at the end (bare edit %9)")
             .arg(bufferSize)
             .arg(colourCoding ? "on" : "off")
             .arg(input.measured.size())
             .arg(input.characters)
             .arg(input.fill.size())
             .arg(trims)
             .arg(Rate(characters / (model / 1e9), "chars"))
             .arg(viewCharacters)
             .arg(bareCharacters));
    const double pieces = qMax(1, input.measured.size());
    return { model / pieces, view / pieces };
}

void Growth(const QString& measure, int smallest, double small, int largest, double large)
{
    if (small <= 0 || large <= 0)
        return;
    const double growth = large / small;
    Row(QStringLiteral("3 steady state"),
        QStringLiteral("%1, long open transmission, buffer %2 -> %3")
            .arg(measure)
            .arg(smallest)
            .arg(largest),
        QStringLiteral("%1 per piece").arg(Duration(large / 1e9)),
        QStringLiteral("%1 per piece").arg(Duration(small / 1e9)), growth,
        QStringLiteral("<= 1.25"), growth <= 1.25);
}

} // namespace

int main(int argc, char** argv)
{
    PrepareEnvironment();
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const int count = qMax(200, int(Option(arguments, QStringLiteral("--pieces"),
                                           QStringLiteral("20000")).toInt()
                                    * Scale(arguments)));
    const QString colour = Option(arguments, QStringLiteral("--colour"), QStringLiteral("both"));
    QList<int> sizes;
    for (const QString& size : Option(arguments, QStringLiteral("--sizes"),
                                      QStringLiteral("10000,1000000"))
                                   .split(QLatin1Char(','))) {
        if (size.toInt() >= 1000)
            sizes.append(size.toInt());
    }
    // Growth is taken with colour coding off where it was measured, else on.
    QVector<Cost> costs;
    for (int size : sizes) {
        Cost cost;
        if (colour != QLatin1String("on"))
            cost = Compare(size, count, false);
        if (colour != QLatin1String("off")) {
            const Cost on = Compare(size, count, true);
            if (colour == QLatin1String("on"))
                cost = on;
        }
        costs.append(cost);
    }
    if (sizes.size() >= 2) {
        Growth(QStringLiteral("model alone"), sizes.first(), costs.first().model, sizes.last(),
               costs.last().model);
        Growth(QStringLiteral("model + open pane"), sizes.first(), costs.first().view,
               sizes.last(), costs.last().view);
    }
    return 0;
}
