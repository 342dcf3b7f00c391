// An outside program that only knows the installed package.
#include <activeuserproxy.h>
#include <cfgcenter.h>
#include <colors.h>
#include <decodedtextclock.h>
#include <decodedtextdata.h>
#include <errorhandler.h>
#include <translationcenter.h>
#include <varnoresultdataxml.h>
#include <vxexception.h>

#include <QApplication>
#include <QDateTime>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    using namespace VarnoResultDataXml;

    Transmission transmission;
    const QDateTime start = QDateTime::currentDateTimeUtc();
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    auto* block = new DataBlock(3, 0, 0);
    block->SetID(7);
    block->SetContent(QStringLiteral("HELLO WORLD"));
    TimeStamp stamp;
    stamp.Time = start;
    stamp.Position = 0;
    stamp.Quality = 90;
    block->GetTimeStamp().append(stamp);
    transmission.AddDataBlock(block);

    DecodedTextData model;
    model.AddTransmission(transmission.GetXmlString());
    if (!model.ChannelExists(3)) {
        std::fprintf(stderr, "channel 3 was not created\n");
        return 1;
    }
    const auto last = model.GetChannelData(3)->LastBlock();
    if (!last || last->text != QStringLiteral("HELLO WORLD")) {
        std::fprintf(stderr, "text did not arrive\n");
        return 1;
    }
    if (Colors::Instance().GetColors()->GetColorDefitions().isEmpty()) {
        std::fprintf(stderr, "no colours\n");
        return 1;
    }
    std::printf("consumer ok\n");
    return 0;
}
