// Feeds a view with generated decoder text for two channels, lets it settle and saves a
// picture of it. Run through tools/screenshot_view.sh, which builds it against the
// installed package.
//
//   screenshot_view <output.png> [width height] [--paused]
//
// With --paused, the operator has then wheeled the teleprinter pane back to read an older
// message while two more arrived: the pane holds still and its badge counts the new lines.

#include "decodedtextcontent.h"
#include "decodedtextview.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWheelEvent>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::TimeStamp;
using VarnoResultDataXml::UserData;

namespace {

const QDateTime Start(QDate(2024, 5, 1), QTime(9, 58, 12), Qt::UTC);

// Marks the first mention of every call sign in the text, as an operator would have done.
void AnnotateCallSigns(DataBlock* block, const QString& text, const QDateTime& when)
{
    static const QRegularExpression callSign(
        QStringLiteral("\\b[A-Z]{1,2}[0-9][A-Z]{1,4}\\b"));
    QStringList seen;
    auto matches = callSign.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        if (seen.contains(match.captured()))
            continue;
        seen << match.captured();
        auto* mark = new UserData;
        mark->Type = UserData::CallSignType;
        mark->Start = match.capturedStart();
        mark->End = match.capturedEnd();
        mark->Text = match.captured();
        mark->CallSign = match.captured();
        mark->Modifier = QStringLiteral("operator");
        mark->ChangeTime = when;
        block->AddUserData(mark);
    }
}

// One transmission of one channel: the text is cut into runs of a few characters, each with
// its own time and a decoder quality that now and then drops, as on a fading signal.
QString TransmissionXml(int channel, const QDateTime& start, const QString& text,
                     QRandomGenerator& random, int fadeEvery)
{
    VarnoResultDataXml::Transmission transmission;
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    auto* block = new DataBlock(channel, 0, 0);
    block->SetID(1);
    block->SetContent(text);
    int position = 0;
    int run = 0;
    while (position < text.size()) {
        TimeStamp stamp;
        stamp.Position = position;
        stamp.Time = start.addMSecs(position * 120);
        const bool fading = fadeEvery > 0 && run % fadeEvery == fadeEvery - 1;
        stamp.Quality = fading ? 35 + int(random.bounded(30)) : 86 + int(random.bounded(14));
        block->GetTimeStamp().append(stamp);
        position += 4 + int(random.bounded(9));
        ++run;
    }
    AnnotateCallSigns(block, text, start);
    transmission.AddDataBlock(block);
    return transmission.GetXmlString();
}

const char* const MorseTraffic[] = {
    "CQ CQ CQ DE DL1ABC DL1ABC DL1ABC PSE K",
    "DL1ABC DE OH2XYZ OH2XYZ K",
    "OH2XYZ DE DL1ABC GM OM ES TNX FER CALL UR RST 579 579 NAME IS KLAUS KLAUS QTH "
    "BERLIN BERLIN HW CPY? OH2XYZ DE DL1ABC KN",
    "DL1ABC DE OH2XYZ R FB KLAUS TNX FER RPRT UR RST 599 5NN NAME JUHA JUHA QTH ESPOO "
    "NR HELSINKI RIG HR IS 100 W ES DIPOLE WX CLOUDY ES COOL TEMP 8C DL1ABC DE OH2XYZ KN",
    "OH2XYZ DE DL1ABC R R TNX JUHA FB QSO HPE CUAGN 73 ES GUD DX OH2XYZ DE DL1ABC SK",
    "CQ CQ DE SP3KEY SP3KEY K",
};

const char* const TeleprinterTraffic[] = {
    "ZCZC GA41\nNAVAREA I 187/24\nNORTH SEA. GERMAN BIGHT.\n"
    "CHART BA 1635.\nLIGHT BUOY TW ES 54-04.2N 007-52.9E UNLIT.\nNNNN",
    "ZCZC GA42\nGALE WARNING NR 112\nGERMAN BIGHT HUMBER THAMES\n"
    "SOUTHWEST 7 TO SEVERE GALE 9 INCREASING STORM 10 LATER.\nNNNN",
    "ZCZC GA43\nWEATHER BULLETIN 1000 UTC\nGERMAN BIGHT: WEST 5 TO 6, OCCASIONALLY 7, "
    "SEA STATE 4, RAIN, MODERATE OR POOR.\nFISHER: SOUTHWEST 6, SEA STATE 5.\nNNNN",
    "ZCZC GA44\nNAVAREA I 188/24\nENGLISH CHANNEL.\nUNDERWATER OPERATIONS IN PROGRESS "
    "50-12.4N 001-03.7W. WIDE BERTH REQUESTED.\n",
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    const bool paused = args.removeAll(QStringLiteral("--paused")) > 0;
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: screenshot_view <output.png> [width height]\n";
        return 2;
    }
    const QSize size = args.size() >= 4 ? QSize(args.at(2).toInt(), args.at(3).toInt())
                                         : QSize(1000, 700);

    // Keep the view's settings away from any real configuration.
    QTemporaryDir configDir;
    const QString configFile = configDir.filePath(QStringLiteral("screenshot.ini"));
    qputenv("VX_APP_CONFIG", configFile.toLocal8Bit());
    {
        // A call-sign gutter wide enough for whole signs, read by the view as a stored setting.
        QSettings settings(configFile, QSettings::IniFormat);
        settings.setValue(QStringLiteral("DecodedTextView/InfoAreaWidth"), 70);
        settings.sync();
    }

    DecodedTextView view(nullptr);
    view.setWindowTitle(QStringLiteral("DecodedTextView"));
    view.resize(size);
    view.DefineChannelName(1, QStringLiteral("CW 7.028 MHz"));
    view.DefineChannelName(2, QStringLiteral("NAVTEX 518 kHz"));
    // Naming touches the aggregation channel, which this picture does not use.
    view.RemoveChannel(0);
    view.show();

    QRandomGenerator random(20240501);
    QDateTime morseTime = Start;
    QDateTime teleprinterTime = Start.addSecs(20);
    const int morseCount = int(sizeof(MorseTraffic) / sizeof(MorseTraffic[0]));
    const int teleprinterCount = int(sizeof(TeleprinterTraffic) / sizeof(TeleprinterTraffic[0]));
    for (int i = 0; i < qMax(morseCount, teleprinterCount); ++i) {
        if (i < morseCount) {
            view.AddTransmission(TransmissionXml(1, morseTime, QString::fromLatin1(MorseTraffic[i]),
                                              random, 5));
            morseTime = morseTime.addSecs(35 + int(random.bounded(40)));
        }
        if (i < teleprinterCount) {
            view.AddTransmission(TransmissionXml(2, teleprinterTime,
                                              QString::fromLatin1(TeleprinterTraffic[i]), random,
                                              9));
            teleprinterTime = teleprinterTime.addSecs(70 + int(random.bounded(50)));
        }
        // The older transmissions are over and show as closed; the newest stay open.
        if (i + 1 < qMin(morseCount, teleprinterCount))
            view.EndTransmission();
    }
    view.ShowChannel(2);
    view.ShowChannel(1);

    // Both panes share the height, as an operator would drag them.
    if (auto* splitter = view.findChild<QSplitter*>()) {
        const int each = splitter->height() / qMax(1, splitter->count());
        splitter->setSizes(QList<int>{each, each});
    }

    // Quality colouring on in the decoder panes, as an operator watching a weak signal has it.
    const auto contents = view.findChildren<DecodedTextContent*>();
    for (DecodedTextContent* content : contents)
        QMetaObject::invokeMethod(content, "SlotColorCoding", Q_ARG(bool, true));

    // Let layouts settle and the text areas scroll to their newest lines.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500)
        app.processEvents(QEventLoop::AllEvents, 20);

    if (paused && contents.size() == 2) {
        DecodedTextContent* reading = contents.at(1);
        for (DecodedTextContent* content : contents) {
            if (content->toPlainText().contains(QStringLiteral("ZCZC")))
                reading = content;
        }
        const QPoint at = reading->viewport()->rect().center();
        QWheelEvent wheel(at, reading->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 360),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(reading->viewport(), &wheel);
        for (const char* text : { "ZCZC GA45\nGALE WARNING NR 113\nFISHER DOGGER\nNNNN",
                                  "ZCZC GA46\nNAVAREA I 189/24\nSKAGERRAK. BUOY OFF STATION.\nNNNN" }) {
            view.AddTransmission(TransmissionXml(2, teleprinterTime, QString::fromLatin1(text), random, 9));
            teleprinterTime = teleprinterTime.addSecs(90);
        }
        settle.restart();
        while (settle.elapsed() < 300)
            app.processEvents(QEventLoop::AllEvents, 20);
    }

    const QImage picture = view.grab().toImage();
    if (!picture.save(args.at(1))) {
        QTextStream(stderr) << "cannot write " << args.at(1) << "\n";
        return 1;
    }
    QTextStream(stdout) << "wrote " << QDir::toNativeSeparators(args.at(1)) << " ("
                        << picture.width() << "x" << picture.height() << ")\n";
    return 0;
}
