// Shows finding across channels: the find bar at the bottom of the view with its count, the
// matches highlighted in two open panes with the current one picked out, a closed channel that
// tells in its caption how many matches it holds, and a watched call sign highlighted where
// it is shown and counted in the caption of the closed channel it arrived in. Run through
// tools/screenshot_view.sh, which builds it against the installed package.
//
//   screenshot_find <output.png> [width height]

#include "decodedtextfindbar.h"
#include "decodedtextfinder.h"
#include "decodedtextview.h"
#include "decodedtextwatch.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTextStream>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::TimeStamp;

namespace {

const QDateTime Start(QDate(2024, 5, 1), QTime(14, 21, 40), Qt::UTC);

struct Over {
    int channel;
    int secondsIn;
    const char* text;
};

const Over Traffic[] = {
    { 1, 0, "CQ CQ DE DL1ABC DL1ABC PSE K" },
    { 2, 10, "CQ TEST DE SM5QRT SM5QRT TEST" },
    { 3, 15, "RYRYRY CQ DE DL1ABC DL1ABC 599 BERLIN QSL VIA BURO" },
    { 1, 40, "DL1ABC DE OH2XYZ OH2XYZ K" },
    { 2, 45, "SM5QRT DE DL1ABC 599 001 K" },
    { 4, 50, "CQ DE OH2XYZ OH2XYZ QRV 10 MIN" },
    { 1,
      75,
      "OH2XYZ DE DL1ABC GM OM TNX FER CALL UR RST 579 NAME IS KLAUS QTH BERLIN HW? "
      "OH2XYZ DE DL1ABC KN" },
    { 2, 90, "DL1ABC DE SM5QRT TU 599 014 TEST" },
};

QString TransmissionXml(const Over& over)
{
    const QString text = QString::fromLatin1(over.text);
    const QDateTime start = Start.addSecs(over.secondsIn);
    VarnoResultDataXml::Transmission transmission;
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    auto* block = new DataBlock(over.channel, 0, 0);
    block->SetID(1);
    block->SetContent(text);
    for (int position = 0; position < text.size(); position += 9) {
        TimeStamp stamp;
        stamp.Position = position;
        stamp.Time = start.addMSecs(position * 110);
        stamp.Quality = 92;
        block->GetTimeStamp().append(stamp);
    }
    transmission.AddDataBlock(block);
    return transmission.GetXmlString();
}

void Settle(QApplication& app, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        app.processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: screenshot_find <output.png> [width height]\n";
        return 2;
    }
    const QSize size
        = args.size() >= 4 ? QSize(args.at(2).toInt(), args.at(3).toInt()) : QSize(1000, 640);

    QTemporaryDir configDir;
    qputenv("VX_APP_CONFIG", configDir.filePath(QStringLiteral("screenshot.ini")).toLocal8Bit());

    DecodedTextView view(nullptr);
    view.setWindowTitle(QStringLiteral("DecodedTextView"));
    view.resize(size);
    view.DefineChannelName(1, QStringLiteral("CW 14.052 MHz"));
    view.DefineChannelName(2, QStringLiteral("CW 7.021 MHz"));
    view.DefineChannelName(3, QStringLiteral("RTTY 14.080 MHz"));
    view.DefineChannelName(4, QStringLiteral("CW 21.030 MHz"));
    view.RemoveChannel(0);
    view.Watch()->SetWords({ QStringLiteral("OH2XYZ") });
    view.show();

    for (const Over& over : Traffic) {
        view.AddTransmission(TransmissionXml(over));
        view.EndTransmission();
    }
    view.ShowChannel(1);
    view.ShowChannel(2);
    if (auto* splitter = view.findChild<QSplitter*>()) {
        const int h = splitter->height();
        splitter->setSizes(QList<int> { h / 2, h / 2, 0, 0 });
    }
    Settle(app, 300);

    DecodedTextFinder* finder = view.Finder();
    finder->OpenBar();
    finder->Bar()->TextEdit()->setText(QStringLiteral("DL1ABC"));
    Settle(app, 100);
    for (int i = 0; i < 4; ++i)
        finder->Next();
    Settle(app, 300);

    const QImage picture = view.grab().toImage();
    if (!picture.save(args.at(1))) {
        QTextStream(stderr) << "cannot write " << args.at(1) << "\n";
        return 1;
    }
    QTextStream(stdout) << "wrote " << QDir::toNativeSeparators(args.at(1)) << " ("
                        << picture.width() << "x" << picture.height() << ")\n";
    return 0;
}
