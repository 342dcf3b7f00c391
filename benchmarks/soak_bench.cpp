// Soak run: a shown view (offscreen) with eight decoder channels merged into the aggregation
// channel, fed generated transmissions while an operator annotates the open text, for a given
// number of characters. Prints the resident memory at intervals and checks at the end that
//  - memory levelled off: the highest resident size seen in the second half of the run exceeds
//    the size at the half-way point by less than 5%;
//  - no annotation was lost while its text was still in a buffer.
//
//   QT_QPA_PLATFORM=offscreen soak_bench [characters] [--offline]
//
// characters defaults to 5000000. With --offline the view runs in offline evaluation mode
// (annotations are kept for the export instead of being sent, the aggregation channel keeps a
// short tail). Exits with 1 when a check fails.

#include "benchsupport.h"
#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <cstdio>
#include <cstring>

using namespace VarnoResultDataXml;

namespace {

constexpr int Channels = 8;
// Pieces a decoder delivers per channel before its transmission ends.
constexpr int StepsPerTransmission = 300;
constexpr int Reports = 20;

class Random
{
public:
    quint32 Next()
    {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7fff;
    }
    int Below(int n) { return n > 0 ? int(Next() % quint32(n)) : 0; }

private:
    quint32 state = 20240501u;
};

// The view keeps its model to itself. Its reset request carries the model as its sender, and a
// pane's "clear all" asks for a reset: a handler set for one request catches the model.
class ModelCatcher : public QObject
{
    Q_OBJECT

public:
    DecodedTextData* model = nullptr;

public slots:
    void Catch() { model = qobject_cast<DecodedTextData*>(sender()); }
};

// An annotation the operator made, recognised by a token in its texts.
struct Tracked
{
    int channel = 0;
    QDateTime blockTime;
    int blockId = 0;
    QString type;
    int lastEnd = 0; // its end when last seen; positions in the block only grow in this run
};

QString TokenOf(const UserData& annotation)
{
    return annotation.Type == UserData::CallSignType ? annotation.CallSign : annotation.Comment;
}

struct Soak
{
    DecodedTextView* view = nullptr;
    DecodedTextData* model = nullptr;
    Random random;
    QDateTime start;
    QDateTime clock;
    int transmission = 0;
    int stepInTransmission = 0;
    int streamPosition[Channels + 1] = {};
    QMap<int, int> channelMap;
    QVector<int> usedChannels;
    QHash<QString, Tracked> tracked;
    qint64 annotationsMade = 0;
    qint64 refused = 0;
    qint64 retired = 0;
    qint64 lost = 0;
    qint64 savedDocuments = 0;
    int nextToken = 0;
};

QString MakeTransmission(Soak& soak, qint64& characters)
{
    static const char words[][8] = {"CQ", "DE", "TEST", "QSL", "73", "RST", "599", "NAME", "QTH", "K"};
    Transmission transmission;
    transmission.SetStartTime(soak.start);
    transmission.SetStopTime(soak.start);
    for (int channel = 1; channel <= Channels; ++channel) {
        if (soak.random.Below(3) == 0)
            continue;
        QString content;
        const int length = 20 + soak.random.Below(40);
        while (content.size() < length) {
            content += QLatin1String(words[soak.random.Below(10)]);
            content += soak.random.Below(12) == 0 ? QLatin1Char('\n') : QLatin1Char(' ');
        }
        // Now and then the decoder loses a few characters.
        if (soak.random.Below(20) == 0)
            soak.streamPosition[channel] += 3;
        auto* block = new DataBlock(channel, 0, 0);
        block->SetID(channel);
        block->SetContent(content);
        const int runs[2] = {0, content.size() / 2};
        for (int r = 0; r < 2; ++r) {
            TimeStamp stamp;
            // Mostly in time order; now and then a run older than text already merged, which
            // the merge puts into the middle of the aggregation block.
            const int late = soak.random.Below(40) == 0 ? 1000 : 0;
            stamp.Time = soak.clock.addMSecs(channel * 20 + r * 10 - late);
            stamp.Position = soak.streamPosition[channel] + runs[r];
            stamp.Quality = soak.random.Below(101);
            block->GetTimeStamp().append(stamp);
        }
        soak.streamPosition[channel] += content.size();
        characters += content.size();
        transmission.AddDataBlock(block);
    }
    soak.clock = soak.clock.addMSecs(250);
    return transmission.GetXmlString();
}

// The end of the annotation's block's first run of decoded text; trimming only ever cut below it.
int FirstDataEnd(const DecodedTextBlock& block)
{
    for (int i = 0; i < block.snippets.size(); ++i) {
        if (!block.IsGap(i))
            return block.snippets.at(i).end;
    }
    return INT_MAX;
}

QExplicitlySharedDataPointer<DecodedTextBlock> FindBlock(DecodedTextData& model, int channel,
                                                         const QDateTime& time, int id)
{
    if (!model.ChannelExists(channel))
        return QExplicitlySharedDataPointer<DecodedTextBlock>();
    const auto buffer = model.GetChannelData(channel);
    for (const auto& block : qAsConst(buffer->blocks)) {
        if (block->timestamp == time && block->id == id)
            return block;
    }
    return QExplicitlySharedDataPointer<DecodedTextBlock>();
}

// Looks for every annotation made and not yet replaced. One that is gone although its block is
// still held and its end lies past the trimmed front of that block was lost.
void CheckAnnotations(Soak& soak, bool report)
{
    QHash<DecodedTextBlock*, QHash<QString, const UserData*>> byBlock;
    for (auto it = soak.tracked.begin(); it != soak.tracked.end();) {
        Tracked& t = it.value();
        const auto block = FindBlock(*soak.model, t.channel, t.blockTime, t.blockId);
        if (!block) {
            ++soak.retired;
            it = soak.tracked.erase(it);
            continue;
        }
        if (!byBlock.contains(block.data())) {
            QHash<QString, const UserData*>& tokens = byBlock[block.data()];
            for (const UserData* annotation : qAsConst(block->userData))
                tokens.insert(TokenOf(*annotation), annotation);
        }
        const UserData* found = byBlock.value(block.data()).value(it.key(), nullptr);
        if (found && found->Type == t.type) {
            t.lastEnd = found->End;
            ++it;
            continue;
        }
        if (t.lastEnd >= FirstDataEnd(*block)) {
            ++soak.lost;
            if (report)
                std::printf("LOST annotation %s (%s) in channel %d block %d, last end %d, "
                            "block runs %d..%d\n",
                            qPrintable(it.key()), qPrintable(t.type), t.channel, t.blockId,
                            t.lastEnd, block->StartPosition(), block->EndPosition());
        }
        ++soak.retired;
        it = soak.tracked.erase(it);
    }
}

// The operator marks a few characters near the end of an open block.
void Annotate(Soak& soak)
{
    static const QString types[] = {UserData::CallSignType, UserData::CallSignType,
                                    UserData::CommentType, UserData::CommentType,
                                    UserData::ChangeType};
    // Mostly the aggregation channel, whose newest block stays open; the channel blocks are
    // closed by their merge, so the operator is refused there.
    const int channel = soak.random.Below(4) == 0 ? 1 + soak.random.Below(Channels) : 0;
    if (!soak.model->ChannelExists(channel))
        return;
    const auto block = soak.model->GetChannelData(channel)->LastBlock();
    if (!block || block->snippets.isEmpty())
        return;

    const int end = block->EndPosition();
    const int low = qMax(block->StartPosition(), end - 300);
    if (end - low < 10)
        return;
    const int from = low + soak.random.Below(end - low - 8);
    const int to = from + 1 + soak.random.Below(6);
    const QString type = types[soak.random.Below(5)];
    const QString token = QStringLiteral("S%1").arg(++soak.nextToken);

    auto* annotation = new UserData;
    annotation->Type = type;
    annotation->Start = from;
    annotation->End = to;
    annotation->Modifier = soak.model->GetModifier();
    annotation->ChangeTime = soak.clock;
    if (type == UserData::ChangeType) {
        // Undoing an earlier change could move later text back; this run keeps positions
        // growing, so a change goes only where there is none, and never shortens the text.
        if (block->FindUserData(UserData::ChangeType, from, to)) {
            delete annotation;
            return;
        }
        annotation->ReplacedText = block->Text(from, to);
        annotation->Text = annotation->ReplacedText + QStringLiteral("x");
        annotation->End = from + annotation->Text.size();
        annotation->Comment = token;
    } else if (type == UserData::CallSignType) {
        annotation->Text = block->Text(from, to);
        annotation->CallSign = token;
    } else {
        annotation->Text = block->Text(from, to);
        annotation->Comment = token;
    }

    // What the new annotation replaces is no longer the operator's; the model says which by
    // the overlap rule.
    // Their tokens are read first: SetUserData empties the texts of what it replaces.
    QVector<UserData*> replaced;
    if (!block->closed)
        block->CollectUserData(type, from, to, replaced);
    QStringList replacedTokens;
    for (const UserData* old : qAsConst(replaced))
        replacedTokens.append(TokenOf(*old));
    if (!soak.model->SetUserData(block, annotation, type, from, to)) {
        delete annotation;
        ++soak.refused;
        return;
    }
    for (const QString& old : qAsConst(replacedTokens)) {
        if (soak.tracked.remove(old) > 0)
            ++soak.retired;
    }
    ++soak.annotationsMade;
    Tracked t;
    t.channel = channel;
    t.blockTime = block->timestamp;
    t.blockId = block->id;
    t.type = type;
    t.lastEnd = annotation->End;
    soak.tracked.insert(token, t);
}

void ExpandAll(DecodedTextView& view)
{
    for (DecodedTextChannel* pane : view.findChildren<DecodedTextChannel*>()) {
        if (!pane->IsExpanded())
            pane->ExpandTextArea(true);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir configDir;
    // The run must not read or write the user's settings.
    qputenv("VX_APP_CONFIG", QFile::encodeName(configDir.filePath(QStringLiteral("soak.ini"))));
    QApplication app(argc, argv);

    qint64 target = 5000000;
    bool offline = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--offline") == 0)
            offline = true;
        else
            target = QByteArray(argv[i]).toLongLong();
    }
    if (target <= 0) {
        std::fprintf(stderr, "usage: soak_bench [characters] [--offline]\n");
        return 2;
    }

    Soak soak;
    DecodedTextView view(nullptr);
    view.resize(1200, 900);
    view.show();
    view.SetOffline(offline);
    soak.view = &view;
    soak.start = QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);
    soak.clock = soak.start;
    for (int channel = 1; channel <= Channels; ++channel) {
        soak.channelMap.insert(channel, channel);
        view.DefineChannelName(channel, QStringLiteral("Channel %1").arg(channel));
    }
    QObject::connect(&view, &DecodedTextView::SaveUserData, [&soak](int, const QString&) {
        ++soak.savedDocuments;
    });

    qint64 characters = 0;
    view.AddTransmission(soak.channelMap, soak.usedChannels, MakeTransmission(soak, characters));
    ModelCatcher catcher;
    view.SetResetHandler(&catcher, SLOT(Catch()));
    if (auto* content = view.findChild<DecodedTextContent*>())
        content->SlotClearAll();
    QApplication::processEvents();
    view.SetResetHandler(&view, SLOT(Reset()));
    soak.model = catcher.model;
    if (!soak.model) {
        std::fprintf(stderr, "could not reach the view's model\n");
        return 2;
    }

    std::printf("soak: %lld characters, 8 channels merged, %s\n", target,
                offline ? "offline" : "online");
    std::printf("%12s %10s %8s %10s %8s %8s %8s\n", "characters", "rss_kb", "seconds",
                "agg_chars", "made", "active", "lost");

    QElapsedTimer timer;
    timer.start();
    const qint64 every = qMax<qint64>(1, target / Reports);
    qint64 nextReport = every;
    qint64 halfRss = -1;
    qint64 highSecondHalf = 0;
    qint64 steps = 0;
    while (characters < target) {
        const QString xml = MakeTransmission(soak, characters);
        view.AddTransmission(soak.channelMap, soak.usedChannels, xml);
        if (soak.random.Below(3) == 0)
            Annotate(soak);
        if (++soak.stepInTransmission >= StepsPerTransmission) {
            view.EndTransmission();
            soak.stepInTransmission = 0;
            ++soak.transmission;
            soak.start = soak.start.addSecs(600);
            soak.clock = soak.start;
            std::memset(soak.streamPosition, 0, sizeof(soak.streamPosition));
        }
        if (++steps % 50 == 0) {
            ExpandAll(view);
            QApplication::processEvents();
        }
        if (characters >= nextReport) {
            nextReport += every;
            QApplication::processEvents();
            CheckAnnotations(soak, true);
            const qint64 rss = BenchSupport::StatusKb("VmRSS");
            if (halfRss < 0 && characters >= target / 2)
                halfRss = rss;
            else if (halfRss >= 0)
                highSecondHalf = qMax(highSecondHalf, rss);
            qint64 aggregation = 0;
            if (soak.model->ChannelExists(DecodedTextData::AggregationChannelID)) {
                for (const auto& block :
                     qAsConst(soak.model->GetChannelData(DecodedTextData::AggregationChannelID)->blocks))
                    aggregation += block->text.size();
            }
            std::printf("%12lld %10lld %8.1f %10lld %8lld %8d %8lld\n", characters, rss,
                        timer.elapsed() / 1000.0, aggregation, soak.annotationsMade,
                        int(soak.tracked.size()), soak.lost);
            std::fflush(stdout);
        }
    }
    QApplication::processEvents();
    CheckAnnotations(soak, true);

    const double growth = halfRss > 0 ? 100.0 * (highSecondHalf - halfRss) / halfRss : 0.0;
    std::printf("annotations: %lld made, %lld refused (closed blocks), %lld replaced or trimmed "
                "away, %d still held, %lld lost; %lld documents sent\n",
                soak.annotationsMade, soak.refused, soak.retired, int(soak.tracked.size()),
                soak.lost, soak.savedDocuments);
    std::printf("memory: %lld kB at half-way, highest %lld kB after it: %+.1f%%\n", halfRss,
                highSecondHalf, growth);
    const bool levelled = growth < 5.0;
    std::printf("%s: memory %s, %s\n", levelled && soak.lost == 0 ? "PASS" : "FAIL",
                levelled ? "levelled off" : "still growing",
                soak.lost == 0 ? "no annotation lost" : "annotations lost");
    return levelled && soak.lost == 0 ? 0 : 1;
}

#include "soak_bench.moc"
