#pragma once

#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QDateTime>
#include <functional>
#include <QStringList>
#include <QVector>

using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;
using VarnoResultDataXml::UserData;

namespace Fixtures {

// The start of every scenario's first transmission; inline, so that a test's own constants can
// be derived from it during static initialisation.
inline const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);

// A decoder time stamp: where a run starts in the channel's stream, its quality and its time in
// milliseconds after T0.
struct Stamp {
    int position;
    int quality;
    qint64 ms;
};

// One data block of a transmission.
struct Piece {
    int channel;
    int id;
    QString content;
    QVector<Stamp> stamps;
    QVector<UserData> notes = {};
};

VarnoResultDataXml::DataBlock* MakeDataBlock(const Piece& piece);
QString TransmissionXml(const QDateTime& start, const QVector<Piece>& pieces);

// Data runs chained from position 0; run k is stamped T0 + k seconds with quality 90.
BlockPtr MakeBlock(const QStringList& runs, int channel = 3, int id = 7);
void AddRun(DecodedTextBlock& block, const QString& text, int quality = 90, qint64 ms = 0);
// A gap of width positions holding the given line breaks.
void AddGap(DecodedTextBlock& block, int width, const QString& breaks = QStringLiteral("\n"),
            qint64 ms = 0);

// Comment and call sign both set to text.
UserData* Note(const QString& type, int start, int end,
               const QString& text = QStringLiteral("note"));
UserData* Change(int start, const QString& newText, const QString& replaced,
                 const QString& comment = QString());

// "start-end:length" per snippet, "g" in front of gaps, "q<quality>" behind data runs.
QString Layout(const DecodedTextBlock& block);
// "start-end" per snippet, with "/shift" behind runs that have one when asked for.
QString Spans(const DecodedTextBlock& block, bool withShift = false);
// "start-end" of every annotation in list order.
QString Ranges(const DecodedTextBlock& block);

// Every model signal in one list, so that the order across signals can be checked.
void Record(DecodedTextData& model, QStringList* log);

// What the action writes to standard error (file descriptor 2); empty where there is none.
QByteArray CapturedStandardError(const std::function<void()>& action);

class FixedClock : public DecodedTextClock {
public:
    QDateTime CurrentTime() const override { return now; }
    QDateTime now = T0.addSecs(3600);
};

} // namespace Fixtures
