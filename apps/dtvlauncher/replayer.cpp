#include "replayer.h"

#include "decodedtextview.h"
#include "recordedframes.h"
#include "replayclock.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Pieces delivered in one go before the event loop gets its turn again.
const int BatchLimit = 200;

} // namespace

Replayer::Replayer(DecodedTextView* view, ReplayClock* clock, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Replayer::Step);
    if (m_view && m_clock)
        m_view->SetClock(m_clock);
}

Replayer::~Replayer() = default;

bool Replayer::LoadFile(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QCoreApplication::translate("Replayer", "Cannot read '%1': %2")
                    .arg(path, file.errorString());
        return false;
    }
    // The bytes go to the reader, which reads them in the encoding the document declares.
    VarnoResultDataXml::VarnoResultData document;
    if (!document.SetXmlData(file.readAll())) {
        error = QCoreApplication::translate("Replayer", "Not a result-data document");
        return false;
    }
    Take(document);
    return true;
}

bool Replayer::Load(const QString& xml, QString& error)
{
    VarnoResultDataXml::VarnoResultData document;
    if (!document.SetXmlString(xml)) {
        error = QCoreApplication::translate("Replayer", "Not a result-data document");
        return false;
    }
    Take(document);
    return true;
}

void Replayer::Take(const VarnoResultDataXml::VarnoResultData& document)
{
    m_pieces.clear();
    m_next = 0;
    m_finished = false;
    for (const VarnoResultDataXml::Transmission* transmission : document.GetTransmission()) {
        for (const VarnoResultDataXml::DataBlock* block : transmission->GetDataBlock())
            AddBlock(*transmission, *block);
    }
    // Blocks of different channels and transmissions interleave as they were recorded.
    std::stable_sort(m_pieces.begin(), m_pieces.end(),
                     [](const Piece& a, const Piece& b) { return a.due < b.due; });
}

void Replayer::AddBlock(const VarnoResultDataXml::Transmission& transmission,
                        const VarnoResultDataXml::DataBlock& block)
{
    const QVector<RecordedFrames::Frame> frames = RecordedFrames::Cut(transmission, block);
    for (const RecordedFrames::Frame& frame : frames) {
        Piece piece;
        piece.due = frame.due;
        piece.transmissionStart = transmission.GetStartTime();
        piece.channel = block.GetChannel();
        piece.id = block.GetID();
        piece.text = frame.text;
        piece.contentCode = block.GetContentCode();
        piece.rightToLeft = block.GetContentDirectionRTL();
        piece.stamp = frame.stamp;
        m_pieces.append(piece);
    }
    if (frames.isEmpty())
        return;
    for (const VarnoResultDataXml::UserData* userData : block.GetUserData())
        m_pieces.last().userData.append(*userData);
}

int Replayer::PieceCount() const
{
    return m_pieces.size();
}

int Replayer::DeliveredCount() const
{
    return m_next;
}

QDateTime Replayer::Origin() const
{
    return m_pieces.isEmpty() ? QDateTime() : m_pieces.constFirst().due;
}

qint64 Replayer::DueAfter(int piece, double speed) const
{
    if (piece < 0 || piece >= m_pieces.size() || !Origin().isValid())
        return 0;
    const qint64 recorded = Origin().msecsTo(m_pieces[piece].due);
    return static_cast<qint64>(std::ceil(static_cast<double>(recorded) / speed));
}

void Replayer::Start(double speed)
{
    m_speed = speed > 0.0 ? speed : 1.0;
    if (m_clock)
        m_clock->Start(Origin().isValid() ? Origin() : QDateTime::currentDateTimeUtc(), m_speed);
    m_elapsed.start();
    Step();
}

void Replayer::DeliverAll()
{
    m_timer.stop();
    while (m_next < m_pieces.size())
        Deliver(m_pieces[m_next++]);
    if (!m_finished) {
        m_finished = true;
        emit Finished();
    }
}

void Replayer::Step()
{
    const qint64 now = m_elapsed.elapsed();
    int delivered = 0;
    while (m_next < m_pieces.size() && DueAfter(m_next, m_speed) <= now
           && delivered < BatchLimit) {
        Deliver(m_pieces[m_next++]);
        ++delivered;
    }
    if (m_next >= m_pieces.size()) {
        if (!m_finished) {
            m_finished = true;
            emit Finished();
        }
        return;
    }
    const qint64 wait = delivered >= BatchLimit ? 0 : DueAfter(m_next, m_speed) - now;
    m_timer.start(static_cast<int>(qBound<qint64>(0, wait, 24 * 3600 * 1000)));
}

void Replayer::Deliver(const Piece& piece)
{
    if (!m_view)
        return;
    try {
        VarnoResultDataXml::Transmission transmission;
        transmission.SetStartTime(piece.transmissionStart);
        transmission.SetStopTime(piece.stamp.Time);
        auto* block = new VarnoResultDataXml::DataBlock(piece.channel, 0, 0);
        transmission.AddDataBlock(block);
        block->SetID(piece.id);
        block->SetContent(piece.text);
        block->SetContentCode(piece.contentCode);
        block->SetContentDirectionRTL(piece.rightToLeft);
        block->GetTimeStamp().append(piece.stamp);
        for (const VarnoResultDataXml::UserData& userData : piece.userData)
            block->AddUserData(new VarnoResultDataXml::UserData(userData));
        m_view->AddTransmission(transmission.GetXmlString());
    } catch (const VarnoResultDataXml::VarnoResultDataException& e) {
        std::fprintf(stderr, "dtvlauncher: replay skips a piece of channel %d: %s\n",
                     piece.channel, qUtf8Printable(e.GetMessage()));
    }
}
