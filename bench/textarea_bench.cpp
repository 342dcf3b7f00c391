// Text area throughput: one shown text area fed generated transmissions through the model's
// intake, appending on every DataChanged as a channel pane does, against a bare QPlainTextEdit
// that receives the same characters through a QTextCursor at its end. Both get the same event
// processing (painting included) every 100 transmissions.
//
//   QT_QPA_PLATFORM=offscreen textarea_bench [transmissions [bufferSize]]
//   QT_QPA_PLATFORM=offscreen textarea_bench pane bufferSize [transmissions]
//
// transmissions defaults to 20000; the main passes keep every character (nothing is trimmed,
// every transmission is an append); with bufferSize a further pass runs with that buffer size,
// where trimming makes the model ask for rebuilds.
//
// The pane mode measures the steady state of an open channel pane: the model is first filled
// past its buffer size, so that trimming is under way, then the pane is opened and the given
// number of transmissions (default 5000), each followed by EndTransmission, is timed, with
// colour coding off and on. The cost per transmission should not depend on the buffer size.

#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QVector>

#include <cstdio>

using namespace VarnoResultDataXml;

namespace {

constexpr int Channel = 4;
constexpr int RunsPerTransmission = 4;
constexpr int EventsEvery = 100;
constexpr int Threshold = 60;

struct Transmissions
{
    QStringList documents;
    QStringList texts;
    QVector<QVector<int>> qualities; // per transmission, per run
    qint64 characters = 0;
};

Transmissions Generate(int count)
{
    static const char words[][8] = {"CQ", "DE", "TEST", "QSL", "73", "RST", "599", "NAME", "QTH", "K"};
    Transmissions out;
    const QDateTime base(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC);
    unsigned seed = 4711;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int i = 0; i < count; ++i) {
        QString content;
        while (content.size() < 40) {
            content += QLatin1String(words[next() % 10]);
            content += QLatin1Char(' ');
        }
        Transmission transmission;
        transmission.SetStartTime(base.addSecs(i));
        transmission.SetStopTime(base.addSecs(i + 1));
        DataBlock* block = new DataBlock(Channel, 0, 0);
        block->SetID(1);
        block->SetContent(content);
        QVector<int> qualities;
        for (int r = 0; r < RunsPerTransmission; ++r) {
            TimeStamp stamp;
            stamp.Time = base.addMSecs(qint64(i) * 1000 + r * 100);
            stamp.Position = r * content.size() / RunsPerTransmission;
            stamp.Quality = int(next() % 101);
            qualities.append(stamp.Quality);
            block->GetTimeStamp().append(stamp);
        }
        transmission.AddDataBlock(block);
        out.documents.append(transmission.GetXmlString());
        out.texts.append(content);
        out.qualities.append(qualities);
        out.characters += content.size();
    }
    return out;
}

struct Result
{
    qint64 nanoseconds = 0; // the whole pass
    qint64 widget = 0;      // of that, in the widget: appends, rebuilds and event processing
    int lines = 0;
    int rebuilds = 0;
};

Result ContentPass(const Transmissions& input, bool colorCoding, int bufferSize)
{
    DecodedTextData model;
    model.SetBufferSize(bufferSize);
    model.SetQualityThreshold(Threshold);
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.resize(800, 600);
    content.show();
    content.RefreshContent();
    QMetaObject::invokeMethod(&content, "SlotColorCoding", Q_ARG(bool, colorCoding));
    Result result;
    QElapsedTimer part;
    QObject::connect(&model, &DecodedTextData::DataChanged, &content,
                     [&content, &result, &part](int channel, bool refresh) {
                         if (channel != Channel)
                             return;
                         part.start();
                         if (refresh) {
                             ++result.rebuilds;
                             content.RefreshContent();
                         } else {
                             content.UpdateContent();
                         }
                         result.widget += part.nsecsElapsed();
                     });
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < input.documents.size(); ++i) {
        model.AddTransmission(input.documents.at(i));
        if (i % EventsEvery == EventsEvery - 1) {
            part.start();
            QApplication::processEvents();
            result.widget += part.nsecsElapsed();
        }
    }
    part.start();
    QApplication::processEvents();
    result.widget += part.nsecsElapsed();
    result.nanoseconds = timer.nsecsElapsed();
    result.lines = content.document()->blockCount();
    return result;
}

Result BarePass(const Transmissions& input, bool colorCoding)
{
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.resize(800, 600);
    edit.show();
    const QTextCharFormat normal = edit.currentCharFormat();
    QTextCharFormat low = normal;
    low.setForeground(QBrush(QColor(255, 0, 0)));
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < input.texts.size(); ++i) {
        QTextCursor cursor = edit.textCursor();
        cursor.movePosition(QTextCursor::End);
        if (i > 0) {
            cursor.insertBlock();
            cursor.insertBlock();
        }
        const QString& text = input.texts.at(i);
        if (colorCoding) {
            for (int r = 0; r < RunsPerTransmission; ++r) {
                const int from = r * text.size() / RunsPerTransmission;
                const int to = (r + 1) * text.size() / RunsPerTransmission;
                cursor.insertText(text.mid(from, to - from),
                                  input.qualities.at(i).at(r) >= Threshold ? normal : low);
            }
        } else {
            cursor.insertText(text);
        }
        edit.setTextCursor(cursor);
        if (i % EventsEvery == EventsEvery - 1)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    Result result;
    result.nanoseconds = timer.nsecsElapsed();
    result.widget = result.nanoseconds;
    result.lines = edit.document()->blockCount();
    return result;
}

qint64 IntakeOnly(const Transmissions& input, int bufferSize)
{
    DecodedTextData model;
    model.SetBufferSize(bufferSize);
    QElapsedTimer timer;
    timer.start();
    for (const QString& document : input.documents)
        model.AddTransmission(document);
    return timer.nsecsElapsed();
}

void Report(const char* label, const Transmissions& input, const Result& content,
            const Result& bare)
{
    const double total = content.nanoseconds / 1e9;
    const double widget = content.widget / 1e9;
    const double b = bare.nanoseconds / 1e9;
    std::printf("%s\n", label);
    std::printf("  intake + text area, total:   %8.3f s  %10.0f characters/s  %6d lines,"
                " %d rebuilds\n",
                total, input.characters / total, content.lines, content.rebuilds);
    std::printf("  of that in the text area:    %8.3f s  %10.0f characters/s\n", widget,
                input.characters / widget);
    std::printf("  bare QPlainTextEdit:         %8.3f s  %10.0f characters/s  %6d lines\n", b,
                input.characters / b, bare.lines);
    std::printf("  ratio text area / bare:      %8.2f\n", widget / b);
}

// Apart from the filling, so that a profiler can be told to look at this part only. Answers
// the whole time and, in *widget, the part spent in the pane's handlers and in event
// processing (painting included); the rest is the model's intake.
Q_NEVER_INLINE qint64 TimedTransmissions(DecodedTextData& model, const Transmissions& input,
                                         QElapsedTimer& part, qint64* widget)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < input.documents.size(); ++i) {
        model.AddTransmission(input.documents.at(i));
        model.EndTransmission();
        if (i % EventsEvery == EventsEvery - 1) {
            part.start();
            QApplication::processEvents();
            *widget += part.nsecsElapsed();
        }
    }
    part.start();
    QApplication::processEvents();
    *widget += part.nsecsElapsed();
    return timer.nsecsElapsed();
}

void Settle()
{
    // Lets the deferred scrolls of the opening rebuild (one per block) run before anything is
    // timed; with a large buffer there are tens of thousands of them.
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 2000)
        QApplication::processEvents();
}

void PanePass(int bufferSize, int timed, bool colorCoding)
{
    // Enough text to pass the buffer's limit (size plus its tenth) by a good margin.
    const Transmissions fill = Generate(int(qint64(bufferSize) * 13 / 10 / 40) + 10);
    const Transmissions input = Generate(timed);
    DecodedTextData model;
    model.SetBufferSize(bufferSize);
    model.SetQualityThreshold(Threshold);
    for (const QString& document : fill.documents) {
        model.AddTransmission(document);
        model.EndTransmission();
    }
    // Connected before and after the pane, these bracket the pane's own handling.
    QElapsedTimer part;
    qint64 widget = 0;
    int rebuilds = 0;
    QObject::connect(&model, &DecodedTextData::DataChanged, [&part](int, bool) { part.start(); });
    QObject::connect(&model, &DecodedTextData::TransmissionChanged, [&part](int) { part.start(); });
    DecodedTextChannel pane(QStringLiteral("bench"), Channel, &model, nullptr);
    QObject::connect(&model, &DecodedTextData::DataChanged, [&](int, bool refresh) {
        widget += part.nsecsElapsed();
        rebuilds += refresh ? 1 : 0;
    });
    QObject::connect(&model, &DecodedTextData::TransmissionChanged,
                     [&](int) { widget += part.nsecsElapsed(); });
    pane.resize(800, 600);
    pane.show();
    pane.ExpandTextArea(true);
    if (colorCoding) {
        DecodedTextContent* content = pane.findChild<DecodedTextContent*>();
        QMetaObject::invokeMethod(content, "SlotColorCoding", Q_ARG(bool, true));
    }
    Settle();
    widget = 0;
    rebuilds = 0;

    const double seconds = TimedTransmissions(model, input, part, &widget) / 1e9;
    const double pane_ = widget / 1e9;
    std::printf("pane, buffer %7d, colour coding %s: %d transmissions, %d refreshes; per"
                " transmission %8.1f us in the pane, %8.1f us in all\n",
                bufferSize, colorCoding ? "on " : "off", timed, rebuilds, pane_ * 1e6 / timed,
                seconds * 1e6 / timed);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "pane") {
        const int bufferSize = qMax(1000, QString::fromLocal8Bit(argv[2]).toInt());
        const int timed = argc > 3 ? qMax(1, QString::fromLocal8Bit(argv[3]).toInt()) : 5000;
        PanePass(bufferSize, timed, false);
        PanePass(bufferSize, timed, true);
        return 0;
    }
    int count = 20000;
    if (argc > 1)
        count = qMax(1, QString::fromLocal8Bit(argv[1]).toInt());

    const Transmissions input = Generate(count);
    // Large enough that nothing is trimmed: every transmission is an append.
    const int keepAll = int(qMin<qint64>(input.characters * 2, 100000000));
    std::printf("%d transmissions, %lld characters, quality threshold %d\n", count,
                static_cast<long long>(input.characters), Threshold);
    const double intake = IntakeOnly(input, keepAll) / 1e9;
    std::printf("model intake alone:            %8.3f s  %10.0f characters/s\n", intake,
                input.characters / intake);

    Report("colour coding off", input, ContentPass(input, false, keepAll), BarePass(input, false));
    Report("colour coding on", input, ContentPass(input, true, keepAll), BarePass(input, true));
    if (argc > 2) {
        const int bufferSize = qMax(1000, QString::fromLocal8Bit(argv[2]).toInt());
        std::printf("buffer size %d: trimming rebuilds the document\n", bufferSize);
        Report("colour coding off", input, ContentPass(input, false, bufferSize),
               BarePass(input, false));
    }
    return 0;
}
