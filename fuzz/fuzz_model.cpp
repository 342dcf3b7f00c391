// A model driver: the input bytes are decoded into a sequence of operations on one
// DecodedTextData, as a host, the decoders and an operator would make them, including the
// nonsense none of them should make.
//
// After every operation:
// - every block of every channel keeps its position space (tests/support/blockinvariants; in a
//   block that took a change, a gap may hold the change's characters, see ChangedBlocks);
// - every block but the newest of a buffer is closed, and no two blocks share their key;
// - a block's annotation list holds no null and no pointer twice;
// - every document the model sent with SaveUserData reads back as a data block.
// At every GetData, and once at the end of the input:
// - each channel's export, written as XML and fed into a fresh model through the plain intake,
//   gives blocks with the same keys and the same texts (see CheckExportReproduces);
// - after an export of every block, IsChanged of the channel is false.
#include "blockinvariants.h"
#include "decodedtextdata.h"
#include "errorhandler.h"
#include "fuzzinput.h"
#include "varnoresultdataxml.h"

#include <QCoreApplication>
#include <QHash>
#include <QMap>
#include <QPair>
#include <QSet>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace VarnoResultDataXml;

namespace {

[[noreturn]] void Fail(const QString& what)
{
    std::fprintf(stderr, "fuzz_model: %s\n", what.left(8000).toUtf8().constData());
    std::abort();
}

// With FUZZ_MODEL_TRACE set, every operation is printed as it runs: the way to turn a crashing
// input into a readable regression test.
bool Tracing()
{
    static const bool tracing = qEnvironmentVariableIsSet("FUZZ_MODEL_TRACE");
    return tracing;
}

void TraceLine(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
}

// The line is only built when tracing: some are whole documents.
#define TRACE(line)                                                                               \
    do {                                                                                          \
        if (Tracing())                                                                            \
            TraceLine(line);                                                                      \
    } while (false)

QString Escaped(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F && c != QLatin1Char('\\'))
            out += c;
        else
            out += QStringLiteral("\\x{%1}").arg(c.unicode(), 0, 16);
    }
    return out;
}

QString DumpBlock(const DecodedTextBlock& block)
{
    QString out = QStringLiteral("block channel %1 id %2 closed %3 year %4 text '%5'\n")
                      .arg(block.channel).arg(block.id).arg(block.closed)
                      .arg(block.timestamp.date().year()).arg(Escaped(block.text));
    for (int i = 0; i < block.snippets.size(); ++i) {
        const DecodedTextSnippet& s = block.snippets.at(i);
        out += QStringLiteral("  snippet %1: [%2, %3) length %4 shift %5 flags %6 year %7\n")
                   .arg(i).arg(s.start).arg(s.end).arg(s.length).arg(s.shift).arg(s.flags, 0, 16)
                   .arg(s.timestamp.date().year());
    }
    for (const UserData* u : block.userData) {
        if (u)
            out += QStringLiteral("  %1 [%2, %3) text '%4' replaced '%5' year %6\n")
                       .arg(u->Type).arg(u->Start).arg(u->End)
                       .arg(Escaped(u->Text), Escaped(u->ReplacedText))
                       .arg(u->ChangeTime.date().year());
    }
    return out;
}

class FuzzClock : public DecodedTextClock
{
public:
    QDateTime CurrentTime() const override { return now; }
    QDateTime now = QDateTime(QDate(2024, 5, 1), QTime(11, 0), Qt::UTC);
};

int Clamp(qint64 value)
{
    return int(qBound<qint64>(INT_MIN, value, INT_MAX));
}

using BlockKey = QPair<qint64, int>; // start time in ms (or the lowest value when invalid), id

BlockKey KeyOf(const QDateTime& time, int id)
{
    return qMakePair(time.isValid() ? time.toMSecsSinceEpoch() : LLONG_MIN, id);
}

QString Describe(const BlockKey& key)
{
    return QStringLiteral("(%1, %2)").arg(key.first).arg(key.second);
}

// The channels the model announced, in order; a second announcement of a channel that was not
// removed is a fault of its own.
struct Driver
{
    DecodedTextData* model = nullptr;
    FuzzClock clock;
    QVector<int> channels;
    QVector<int> usedChannels;
    QHash<int, int> nextPosition; // per channel: where its decoder stream would continue
    QSet<int> unwritable;         // channels given an annotation the format cannot carry
    QVector<QExplicitlySharedDataPointer<DecodedTextBlock>> changed; // kept alive while listed
    int reentrant = 0;            // what the listeners do while the model tells them something
    int depth = 0;
    QString step;                 // the operation running, for the failure message
};

// Blocks that took a change: a change whose range takes in a gap replaces the gap's line break
// with its own characters (the change rules work on the text, and the gap gets no share of the
// length change). The gap keeps them until the change is taken out again, and for good when the
// change itself is dropped because the edit moved it past the block's end.
QSet<const DecodedTextBlock*>& ChangedBlocks()
{
    static QSet<const DecodedTextBlock*> blocks;
    return blocks;
}

// The block invariants; in a block that took a change, its gaps are checked as if they still
// held their line breaks, and everything else as usual.
QString CheckBlock(const DecodedTextBlock& block)
{
    const QString problem = BlockInvariants::Check(block);
    if (problem.isEmpty() || !problem.contains(QLatin1String("holds other text than line breaks"))
        || !ChangedBlocks().contains(&block))
        return problem;
    DecodedTextBlock copy(block.channel, block.id, block.timestamp);
    copy.text = block.text;
    copy.snippets = block.snippets;
    int index = 0;
    for (const DecodedTextSnippet& s : qAsConst(copy.snippets)) {
        if ((s.flags & SnippetGap) && index + s.length <= copy.text.size())
            copy.text.replace(index, s.length, QString(s.length, QLatin1Char('\n')));
        index += s.length;
    }
    return BlockInvariants::Check(copy);
}

QString CheckBuffer(const DecodedTextBuffer& buffer)
{
    for (int i = 0; i < buffer.blocks.size(); ++i) {
        const QString problem = CheckBlock(*buffer.blocks.at(i));
        if (!problem.isEmpty())
            return QStringLiteral("block %1: %2").arg(i).arg(problem);
    }
    return QString();
}

void CheckChannel(DecodedTextData& model, int channel, const QString& context)
{
    if (!model.ChannelExists(channel))
        Fail(QStringLiteral("%1: announced channel %2 is gone").arg(context).arg(channel));
    const QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model.GetChannelData(channel);
    const QString problem = CheckBuffer(*buffer);
    if (!problem.isEmpty()) {
        QString dump;
        for (const auto& block : qAsConst(buffer->blocks))
            dump += DumpBlock(*block);
        Fail(QStringLiteral("%1: channel %2: %3\n%4").arg(context).arg(channel).arg(problem, dump));
    }

    QSet<BlockKey> keys;
    for (int i = 0; i < buffer->blocks.size(); ++i) {
        const DecodedTextBlock& block = *buffer->blocks.at(i);
        if (i + 1 < buffer->blocks.size() && !block.closed)
            Fail(QStringLiteral("%1: channel %2: block %3 of %4 is open but not the newest")
                     .arg(context).arg(channel).arg(i).arg(buffer->blocks.size()));
        const BlockKey key = KeyOf(block.timestamp, block.id);
        if (keys.contains(key))
            Fail(QStringLiteral("%1: channel %2: two blocks with key %3")
                     .arg(context).arg(channel).arg(Describe(key)));
        keys.insert(key);
        if (block.channel != channel)
            Fail(QStringLiteral("%1: block of channel %2 in buffer %3")
                     .arg(context).arg(block.channel).arg(channel));
        QSet<const UserData*> seen;
        for (const UserData* annotation : block.userData) {
            if (!annotation || seen.contains(annotation))
                Fail(QStringLiteral("%1: channel %2 block %3: null or repeated annotation")
                         .arg(context).arg(channel).arg(i));
            seen.insert(annotation);
        }
    }
}

void CheckModel(Driver& driver)
{
    for (int channel : qAsConst(driver.channels))
        CheckChannel(*driver.model, channel, driver.step);
    for (int i = 0; i < driver.usedChannels.size(); ++i) {
        if (driver.usedChannels.indexOf(driver.usedChannels.at(i)) != i)
            Fail(driver.step + QStringLiteral(": usedChannels lists a channel twice"));
    }
}

QExplicitlySharedDataPointer<DecodedTextBlock> PickBlock(Driver& driver, FuzzInput& in)
{
    if (driver.channels.isEmpty())
        return QExplicitlySharedDataPointer<DecodedTextBlock>();
    const int channel = driver.channels.at(in.Byte() % driver.channels.size());
    const QExplicitlySharedDataPointer<DecodedTextBuffer> buffer =
        driver.model->GetChannelData(channel);
    if (buffer->blocks.isEmpty())
        return QExplicitlySharedDataPointer<DecodedTextBlock>();
    // Mostly the newest block, which is the one that can still take annotations.
    const uint8_t pick = in.Byte();
    if (pick < 160)
        return buffer->blocks.last();
    return buffer->blocks.at(pick % buffer->blocks.size());
}

// A position near the block (inside, at its ends, just outside) or anything at all.
int PickPosition(FuzzInput& in, const DecodedTextBlock* block)
{
    const uint8_t mode = in.Byte() % 8;
    if (!block || mode == 0)
        return in.Number();
    const int end = block->EndPosition();
    if (mode == 1)
        return end + in.Range(-2, 2);
    return in.Range(0, end);
}

QString PickType(FuzzInput& in)
{
    switch (in.Byte() % 8) {
    case 0:
    case 1:
    case 2:
        return UserData::CallSignType;
    case 3:
    case 4:
        return UserData::CommentType;
    case 5:
    case 6:
        return UserData::ChangeType;
    default:
        return in.Text(6);
    }
}

UserData* MakeUserData(FuzzInput& in, const QString& type, int from, int to,
                       const DecodedTextBlock* block)
{
    UserData* data = new UserData;
    data->Type = in.Byte() < 230 ? type : PickType(in);
    data->Start = in.Byte() < 220 ? from : in.Number();
    data->End = in.Byte() < 220 ? to : in.Number();
    data->Channel = in.Byte() < 200 ? 0 : in.Channel();
    data->CallSign = in.Text(10);
    data->Comment = in.Text(12);
    data->Modifier = in.Text(4);
    data->ChangeTime = in.Time();
    // A change normally replaces what is there; sometimes its texts do not match at all.
    if (block && in.Byte() < 200)
        data->ReplacedText = block->Text(from, to);
    else
        data->ReplacedText = in.Text(8);
    data->Text = in.Text(10);
    return data;
}

// Whether a result-data document can carry the annotation (its channel and time are not checked
// by the operations that take annotations from the operator).
bool Writable(const UserData& annotation)
{
    DataBlock scratch(-1, 0, 0);
    scratch.AddUserData(new UserData(annotation));
    try {
        scratch.GetXmlString();
    } catch (const VarnoResultDataException&) {
        return false;
    }
    return true;
}

// One data block with the positions a decoder stream would have: continuing where the channel
// stopped, lost characters, resends, or nonsense.
DataBlock* MakeDataBlock(Driver& driver, FuzzInput& in)
{
    const int channel = in.Channel();
    const uint8_t idMode = in.Byte() % 8;
    const int id = idMode < 6 ? 1 + idMode % 3 : in.Number();
    DataBlock* block = new DataBlock(channel, in.Byte() < 240 ? 0 : in.Number(), 0);
    block->SetID(id);
    if (in.Byte() < 40)
        block->SetContentCode(in.Text(6));
    block->SetContentDirectionRTL(in.Byte() < 20);

    qint64 position = driver.nextPosition.value(channel, 0);
    const uint8_t positionMode = in.Byte() % 8;
    if (positionMode == 5)
        position += in.Range(1, 40);          // characters were lost
    else if (positionMode == 6)
        position -= in.Range(1, 40);          // the decoder resends
    else if (positionMode == 7)
        position = in.Number();

    if (in.Byte() < 64) {
        // Built in frames, as a decoder's writer would.
        const int frames = in.Range(0, 4);
        for (int f = 0; f < frames; ++f) {
            block->SetTimeStamp(in.Time());
            block->BeginFrame();
            block->AppendData(in.Text(24));
            block->EndFrame();
        }
        for (TimeStamp& stamp : block->GetTimeStamp()) {
            stamp.Position = Clamp(stamp.Position + position);
            stamp.Quality = in.Range(-3, 102);
        }
    } else {
        const QString content = in.Text(48);
        block->SetContent(content);
        const int stamps = in.Range(0, 5);
        qint64 at = position;
        for (int s = 0; s < stamps; ++s) {
            TimeStamp stamp;
            stamp.Time = in.Time();
            stamp.Quality = in.Byte() < 240 ? in.Range(-3, 102) : in.Number();
            const uint8_t mode = in.Byte() % 16;
            if (mode == 0)
                at = in.Number();                                   // anything
            else if (mode == 1)
                at -= in.Range(1, 5);                               // out of order
            else if (mode == 2)
                at = position + block->GetContent().size() + in.Range(0, 6); // past the end
            else if (s > 0)
                at += in.Range(0, qMax(1, block->GetContent().size() / stamps));
            stamp.Position = Clamp(at);
            block->GetTimeStamp().append(stamp);
        }
    }
    const QVector<TimeStamp>& stamps = block->GetTimeStamp();
    if (!stamps.isEmpty())
        driver.nextPosition[channel] = Clamp(qint64(stamps.first().Position) + block->GetContent().size());

    const int annotations = in.Byte() < 200 ? 0 : in.Range(1, 3);
    const int length = block->GetContent().size();
    for (int a = 0; a < annotations; ++a) {
        const QString type = PickType(in);
        const int from = in.Byte() < 200 ? in.Range(0, length) : in.Number();
        const int to = in.Byte() < 200 ? in.Range(from, length) : in.Number();
        block->AddUserData(MakeUserData(in, type, from, to, nullptr));
    }
    return block;
}

// The XML of a generated transmission, or an empty string when the values chosen cannot be
// written (the document classes refuse them, which is what a host would see too).
QString MakeTransmissionXml(Driver& driver, FuzzInput& in)
{
    Transmission transmission;
    transmission.SetStartTime(in.Time());
    transmission.SetStopTime(in.Byte() < 128 ? transmission.GetStartTime() : in.Time());
    const int blocks = in.Range(0, 3);
    for (int b = 0; b < blocks; ++b)
        transmission.AddDataBlock(MakeDataBlock(driver, in));
    QString xml;
    try {
        xml = transmission.GetXmlString();
    } catch (const VarnoResultDataException&) {
        return QString();
    }
    // A damaged document now and then: cut short, or with a byte changed.
    const uint8_t damage = in.Byte();
    if (damage >= 248 && !xml.isEmpty())
        xml.truncate(in.Range(0, xml.size() - 1));
    else if (damage >= 240 && !xml.isEmpty())
        xml[in.Range(0, xml.size() - 1)] = in.Character();
    return xml;
}

// Export a channel, write every transmission as XML and feed it to a fresh model. The fresh model
// must hold, for every key (start time, id) of the channel, a block with the same text.
//
// Only the texts per key are compared, not their order or snippets: the export groups blocks by
// start time, so blocks of one start time but different ids come back next to each other, and
// every run comes back as data (a gap's line breaks are written as text). Gaps, '?' padding,
// separators and edits are all part of the block's text and must come back unchanged. Blocks
// without text are left out on both sides: the export writes them as data blocks without
// content, which the intake skips, and the trimming before every intake drops a block without
// runs. The fresh model gets a buffer size above the channel's length, so that it trims no text;
// the user channel is left out because the intake takes no text for it.
void CheckExportReproduces(Driver& driver, int channel)
{
    if (channel == DecodedTextData::UserChannelID || !driver.model->ChannelExists(channel))
        return;
    const QExplicitlySharedDataPointer<DecodedTextBuffer> buffer =
        driver.model->GetChannelData(channel);
    QMap<BlockKey, QString> expected;
    qint64 total = 0;
    for (const auto& block : qAsConst(buffer->blocks)) {
        if (!block->text.isEmpty())
            expected.insert(KeyOf(block->timestamp, block->id), block->text);
        total += block->text.size();
    }

    VarnoResultData document;
    driver.model->GetData(channel, document, false);
    if (driver.model->IsChanged(channel))
        Fail(QStringLiteral("%1: channel %2 still changed after exporting all of it")
                 .arg(driver.step).arg(channel));

    DecodedTextData fresh;
    fresh.SetClock(&driver.clock);
    fresh.SetBufferSize(int(qMin<qint64>(total + 1000, INT_MAX / 4)));
    QString written;
    for (const Transmission* transmission : document.GetTransmission()) {
        QString xml;
        try {
            xml = transmission->GetXmlString();
        } catch (const VarnoResultDataException& e) {
            // The operator's side does not check what the document can carry; only what came
            // through a document is sure to go out again.
            if (driver.unwritable.contains(channel))
                return;
            Fail(QStringLiteral("%1: export of channel %2 cannot be written: %3")
                     .arg(driver.step).arg(channel).arg(e.GetMessage()));
        }
        written += xml.left(1000) + QLatin1Char('\n');
        fresh.AddTransmission(xml);
    }

    QMap<BlockKey, QString> found;
    if (fresh.ChannelExists(channel)) {
        const auto freshBuffer = fresh.GetChannelData(channel);
        const QString problem = CheckBuffer(*freshBuffer);
        if (!problem.isEmpty())
            Fail(QStringLiteral("%1: re-imported channel %2: %3").arg(driver.step).arg(channel).arg(problem));
        for (const auto& block : qAsConst(freshBuffer->blocks)) {
            if (!block->text.isEmpty())
                found.insert(KeyOf(block->timestamp, block->id), block->text);
        }
    }
    if (found == expected)
        return;
    QString report = QStringLiteral("%1: export of channel %2 does not reproduce it\n")
                         .arg(driver.step).arg(channel);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString back = found.value(it.key(), QStringLiteral("<missing>"));
        if (back != it.value())
            report += QStringLiteral("key %1: %2 characters, back %3: '%4' vs '%5'\n")
                          .arg(Describe(it.key())).arg(it.value().size()).arg(back.size())
                          .arg(it.value().left(80), back.left(80));
    }
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        if (!expected.contains(it.key()))
            report += QStringLiteral("extra key %1\n").arg(Describe(it.key()));
    }
    Fail(report + QStringLiteral("--- written\n") + written);
}

void Connect(Driver& driver)
{
    DecodedTextData* model = driver.model;
    QObject::connect(model, &DecodedTextData::ChannelCreated, [&driver](int channel) {
        if (driver.channels.contains(channel))
            Fail(driver.step + QStringLiteral(": channel %1 announced twice").arg(channel));
        driver.channels.append(channel);
        // As the view does: the pane it creates asks for the channel again at once.
        driver.model->GetChannelData(channel);
    });
    QObject::connect(model, &DecodedTextData::SaveUserData, [&driver](int, const QString& xml) {
        DataBlock block;
        if (!block.SetXmlString(xml))
            Fail(driver.step + QStringLiteral(": SaveUserData sent a document that does not read:\n")
                 + xml);
    });
    QObject::connect(model, &DecodedTextData::DataChanged, [&driver](int channel, bool) {
        if (driver.reentrant == 0 || driver.depth > 0)
            return;
        ++driver.depth;
        // Listeners read the channel they are told about, as the panes do.
        if (!driver.channels.contains(channel))
            Fail(driver.step + QStringLiteral(": DataChanged for unannounced channel %1").arg(channel));
        const auto buffer = driver.model->GetChannelData(channel);
        buffer->TickerText(80);
        const QString problem = CheckBuffer(*buffer);
        if (!problem.isEmpty())
            Fail(driver.step + QStringLiteral(": seen by a listener of channel %1: %2").arg(channel).arg(problem));
        // A host that ends the transmission from inside a notification.
        if (driver.reentrant == 2)
            driver.model->EndTransmission();
        --driver.depth;
    });
}

void RunOperation(Driver& driver, FuzzInput& in)
{
    DecodedTextData& model = *driver.model;
    const uint8_t op = in.Byte() % 20;
    driver.step = QStringLiteral("operation %1").arg(op);
    TRACE(driver.step);
    switch (op) {
    case 0:
    case 1:
    case 2: {
        const QString xml = MakeTransmissionXml(driver, in);
        TRACE(QStringLiteral("AddTransmission %1").arg(Escaped(xml)));
        model.AddTransmission(xml);
        break;
    }
    case 3:
    case 4:
    case 5: {
        QMap<int, int> channelMap;
        const int entries = in.Range(0, 4);
        for (int e = 0; e < entries; ++e)
            channelMap.insert(in.Channel(), in.Byte() < 200 ? in.Range(1, 6) : in.Channel());
        const QString xml = MakeTransmissionXml(driver, in);
        QString map;
        for (auto it = channelMap.cbegin(); it != channelMap.cend(); ++it)
            map += QStringLiteral("%1->%2 ").arg(it.key()).arg(it.value());
        TRACE(QStringLiteral("AddTransmission map {%1} %2").arg(map, Escaped(xml)));
        model.AddTransmission(channelMap, driver.usedChannels, xml);
        break;
    }
    case 6:
        TRACE(QStringLiteral("EndTransmission"));
        model.EndTransmission();
        break;
    case 7:
    case 8:
    case 9: {
        const auto block = PickBlock(driver, in);
        if (!block)
            break;
        const QString type = PickType(in);
        const int from = PickPosition(in, block.data());
        const int to = in.Byte() < 200 ? qMax(from, PickPosition(in, block.data())) : in.Number();
        UserData* data = in.Byte() < 220 ? MakeUserData(in, type, from, to, block.data()) : nullptr;
        TRACE(QStringLiteral("SetUserData channel %1 id %2 type %3 range [%4, %5) data %6")
                  .arg(block->channel).arg(block->id).arg(Escaped(type)).arg(from).arg(to)
                  .arg(data ? QStringLiteral("[%1, %2) '%3' replacing '%4' type %5")
                                  .arg(data->Start).arg(data->End)
                                  .arg(Escaped(data->Text), Escaped(data->ReplacedText), Escaped(data->Type))
                            : QStringLiteral("none")));
        TRACE(DumpBlock(*block));
        const bool writable = !data || Writable(*data);
        bool taken = true;
        try {
            taken = model.SetUserData(block, data, type, from, to);
            if (!taken)
                delete data; // refused: the caller keeps it
            else if (!writable)
                driver.unwritable.insert(block->channel);
        } catch (const VarnoResultDataException&) {
            // A value the document cannot carry (an absurd source channel, say) makes the
            // annotation unsendable; it was taken into the block before, which keeps it.
            driver.unwritable.insert(block->channel);
        }
        if (taken && type == UserData::ChangeType && !ChangedBlocks().contains(block.data())) {
            ChangedBlocks().insert(block.data());
            driver.changed.append(block);
        }
        break;
    }
    case 10: {
        const auto buffer = model.GetChannelData(DecodedTextData::UserChannelID);
        auto last = buffer->LastBlock();
        if (!last)
            last = buffer->GetBlock(model.GetTickCount(), 1);
        const int size = last->text.size();
        const int index = in.Byte() < 230 ? in.Range(0, size + 1) : in.Number();
        const int count = in.Byte() < 200 ? in.Range(0, 3) : in.Number();
        const QString typed = in.Text(12);
        TRACE(QStringLiteral("InsertTypedText index %1 count %2 '%3'").arg(index).arg(count).arg(Escaped(typed)));
        TRACE(DumpBlock(*last));
        last->InsertTypedText(index, count, typed, &model);
        break;
    }
    case 11:
        model.ApplyUserChannel();
        break;
    case 12: {
        static const char* const separators[] = {"", "\n", " | ", "\n\n"};
        const uint8_t pick = in.Byte();
        model.SetChannelSeparator(pick < 200 ? QString::fromLatin1(separators[pick % 4]) : in.Text(4));
        break;
    }
    case 13:
        model.DefineChannelName(in.Channel(), in.Text(8));
        break;
    case 14:
        model.SetBufferSize(in.Byte() < 200 ? in.Range(0, 3000) : in.Number());
        break;
    case 15: {
        if (driver.channels.isEmpty())
            break;
        const int channel = driver.channels.at(in.Byte() % driver.channels.size());
        model.GetChannelData(channel)->hold = in.Bool();
        break;
    }
    case 16: {
        const int channel = in.Byte() < 200 && !driver.channels.isEmpty()
            ? driver.channels.at(in.Byte() % driver.channels.size())
            : in.Channel();
        if (in.Bool()) {
            CheckExportReproduces(driver, channel);
        } else {
            VarnoResultData document;
            model.GetData(channel, document, true);
        }
        break;
    }
    case 17: {
        const uint8_t what = in.Byte() % 6;
        if (what == 0)
            model.SetOffline(in.Bool());
        else if (what == 1)
            model.EnableUserData(in.Bool());
        else if (what == 2)
            driver.reentrant = in.Range(0, 2);
        else if (what == 3)
            driver.clock.now = driver.clock.now.addMSecs(in.Range(0, 5000));
        else if (what == 4)
            model.ShowUserChannel();
        else
            model.SetQualityThreshold(in.Number());
        break;
    }
    case 18: {
        // Channels asked for by number, removed, or all dropped at once.
        const uint8_t what = in.Byte() % 8;
        const int channel = in.Channel();
        if (what == 0) {
            model.Clear();
            driver.channels.clear();
        } else if (what < 4) {
            model.RemoveChannelData(channel);
            driver.channels.removeAll(channel);
        } else {
            model.GetChannelData(channel);
        }
        break;
    }
    default: {
        // Reads the panes and gutters make, on any block and at any position.
        const auto block = PickBlock(driver, in);
        if (!block)
            break;
        const int position = PickPosition(in, block.data());
        const int other = PickPosition(in, block.data());
        QString tip;
        block->ToolTip(position, tip, in.Bool());
        block->Text(position, other);
        block->TextIndex(position);
        block->PositionOfIndex(other);
        block->TimeAt(position, in.Number());
        block->PositionSpan(in.Range(-1, block->snippets.size()), position, in.Number());
        block->UserDataFlags(position, other);
        QVector<UserData*> found;
        block->CollectUserData(PickType(in), position, other, found);
        DataBlock scratch(block->channel, 0, 0);
        block->WriteBlock(&scratch, position, in.Range(-1, block->snippets.size()));
        break;
    }
    }
    CheckModel(driver);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VX_USER", "fuzzer");
    qputenv("VX_TRACE_MASK", "0");
    static QCoreApplication app(*argc, *argv);
    // Refused input is traced; the fuzzer refuses a lot and would spend its time writing.
    ErrorHandler::SetOutputSink([](const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 16 * 1024)
        return 0;
    FuzzInput in(data, size);
    DecodedTextData model;
    Driver driver;
    driver.model = &model;
    model.SetClock(&driver.clock);
    Connect(driver);

    ChangedBlocks().clear();
    for (int steps = 0; steps < 96 && !in.Exhausted(); ++steps)
        RunOperation(driver, in);

    driver.step = QStringLiteral("final export");
    const QVector<int> channels = driver.channels;
    for (int channel : channels)
        CheckExportReproduces(driver, channel);
    return 0;
}
