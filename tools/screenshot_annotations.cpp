// Shows the operator's side of a view: call signs listed in the info gutter, a comment and a
// corrected word in the text, a selection and the context menu that the right mouse button
// opens on it. Saves one picture of the view with the menu drawn in. Run through
// tools/screenshot_view.sh, which builds it against the installed package.
//
//   screenshot_annotations <output.png> [width height]

#include "decodedtextcontent.h"
#include "decodedtextview.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextStream>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::TimeStamp;
using VarnoResultDataXml::UserData;

namespace {

const QDateTime Start(QDate(2024, 5, 1), QTime(14, 21, 40), Qt::UTC);

struct Note {
    const char* type; // "CallSign", "Comment" or "Change"
    const char* word; // the text it covers, its first occurrence from `after` on
    int after;
    const char* value; // call sign, comment, or for a change the text the decoder got
};

struct Over {
    int channel;
    int secondsIn;
    const char* text;
    Note notes[5];
};

// In the order of intake. Earlier annotations of the operator come with the text, as a host
// hands them back after a restart.
const Over Traffic[] = {
    { 1, 0, "CQ CQ DE DL1ABC DL1ABC PSE K", { { "CallSign", "DL1ABC", 0, "DL1ABC" } } },
    { 1, 40, "DL1ABC DE OH2XYZ OH2XYZ K", { { "CallSign", "OH2XYZ", 0, "OH2XYZ" } } },
    { 2,
      20,
      "ZCZC GA41\nNAVAREA I 187/24\nGERMAN BIGHT. LIGHT BUOY TW ES 54-04.2N 007-52.9E UNLIT.\n"
      "NNNN",
      { { "Comment", "TW ES", 0, "buoy reported again at 14:30" } } },
    { 1,
      75,
      "OH2XYZ DE DL1ABC GM OM TNX FER CALL UR RST 579 NAME IS KLAUS QTH BERLIN HW? "
      "OH2XYZ DE DL1ABC KN",
      { { "CallSign", "OH2XYZ", 0, "OH2XYZ" },
        { "CallSign", "DL1ABC", 10, "DL1ABC" },
        { "Comment", "KLAUS", 0, "operator's first name" },
        { "Change", "BERLIN", 0, "BEQLIN" } } },
    { 1,
      150,
      "DL1ABC DE OH2XYZ R FB KLAUS UR RST 599 NAME JUHA QTH ESPOO RIG 100 W DIPOLE "
      "WX CLOUDY DL1ABC DE OH2XYZ KN",
      { { "CallSign", "DL1ABC", 0, "DL1ABC" },
        { "CallSign", "OH2XYZ", 0, "OH2XYZ" },
        { "Change", "ESPOO", 0, "ESP0O" } } },
    { 2,
      140,
      "ZCZC GA42\nGALE WARNING NR 112 GERMAN BIGHT HUMBER THAMES\nSOUTHWEST 7 TO SEVERE GALE 9\n",
      { { "Change", "GALE 9", 0, "GA E 9" } } },
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
    for (const Note& note : over.notes) {
        if (!note.type)
            break;
        const QString word = QString::fromLatin1(note.word);
        const int at = text.indexOf(word, note.after);
        if (at < 0)
            continue;
        auto* mark = new UserData;
        mark->Type = QString::fromLatin1(note.type);
        mark->Start = at;
        mark->End = at + word.size();
        mark->Text = word;
        mark->Modifier = QStringLiteral("operator");
        mark->ChangeTime = start.addSecs(30);
        const QString value = QString::fromLatin1(note.value);
        if (mark->Type == UserData::CallSignType)
            mark->CallSign = value;
        else if (mark->Type == UserData::CommentType)
            mark->Comment = value;
        else
            mark->ReplacedText = value;
        block->AddUserData(mark);
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
        QTextStream(stderr) << "usage: screenshot_annotations <output.png> [width height]\n";
        return 2;
    }
    const QSize size
        = args.size() >= 4 ? QSize(args.at(2).toInt(), args.at(3).toInt()) : QSize(1000, 700);

    QTemporaryDir configDir;
    qputenv("VX_APP_CONFIG", configDir.filePath(QStringLiteral("screenshot.ini")).toLocal8Bit());

    DecodedTextView view(nullptr);
    view.setWindowTitle(QStringLiteral("DecodedTextView"));
    view.resize(size);
    view.DefineChannelName(1, QStringLiteral("CW 14.052 MHz"));
    view.DefineChannelName(2, QStringLiteral("NAVTEX 518 kHz"));
    view.RemoveChannel(0);
    view.show();

    const int count = int(sizeof(Traffic) / sizeof(Traffic[0]));
    for (int i = 0; i < count; ++i) {
        view.AddTransmission(TransmissionXml(Traffic[i]));
        // Everything but the newest transmission of each channel is over.
        if (i < count - 2)
            view.EndTransmission();
    }
    view.ShowChannel(2);
    view.ShowChannel(1);

    if (auto* splitter = view.findChild<QSplitter*>())
        splitter->setSizes(QList<int> { splitter->height() * 3 / 5, splitter->height() * 2 / 5 });

    // A gutter wide enough for two call signs in a row.
    const auto contents = view.findChildren<DecodedTextContent*>();
    for (DecodedTextContent* content : contents)
        content->SetInfoAreaWidth(185);
    Settle(app, 400);

    // The CW pane: the operator has selected the other station's name in the open block.
    DecodedTextContent* cw = nullptr;
    for (DecodedTextContent* content : contents) {
        if (content->document()->toPlainText().contains(QStringLiteral("JUHA")))
            cw = content;
    }
    if (!cw) {
        QTextStream(stderr) << "no CW text area\n";
        return 1;
    }
    const QTextCursor found = cw->document()->find(QStringLiteral("JUHA"));
    cw->setTextCursor(found);
    QTextCursor first(cw->document());
    first.setPosition(found.selectionStart());
    const QRect letter = cw->cursorRect(first);
    const QPoint point(letter.left() + 2, letter.bottom() - 2);
    Settle(app, 100);

    QImage picture = view.grab().toImage();

    // The context menu as the right mouse button opens it over the selection.
    QMenu* menu = cw->createStandardContextMenu();
    cw->AddActions(menu, point);
    const QPoint global = cw->viewport()->mapToGlobal(point);
    menu->popup(global);
    Settle(app, 200);
    const QImage menuImage = menu->grab().toImage();
    {
        // Placed as on a screen the size of the picture (the offscreen screen may be smaller):
        // where it does not fit right of or below the click, it opens to the left or above.
        QPoint at = cw->viewport()->mapTo(&view, point);
        if (at.x() + menuImage.width() > picture.width())
            at.rx() -= menuImage.width();
        if (at.y() + menuImage.height() > picture.height())
            at.ry() -= menuImage.height();
        QPainter painter(&picture);
        // A soft shadow, as window managers draw under menus.
        painter.fillRect(QRect(at + QPoint(3, 3), menuImage.size()), QColor(0, 0, 0, 60));
        painter.drawImage(at, menuImage);
    }
    menu->hide();
    delete menu;

    if (!picture.save(args.at(1))) {
        QTextStream(stderr) << "cannot write " << args.at(1) << "\n";
        return 1;
    }
    QTextStream(stdout) << "wrote " << QDir::toNativeSeparators(args.at(1)) << " ("
                        << picture.width() << "x" << picture.height() << ")\n";
    return 0;
}
