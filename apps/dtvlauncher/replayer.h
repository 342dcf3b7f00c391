#pragma once

#include "varnoresultdataxml.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class DecodedTextView;
class ReplayClock;

// Feeds a view with the text of a recorded result-data document (as GetData writes it), one
// recorded frame at a time and at the recorded pace. Every frame becomes a transmission of
// its own for the plain intake, keyed like the recorded block, so the view rebuilds the same
// blocks; a block's annotations travel with its last frame, at the text indices the
// recording gives them, which are the positions of a block rebuilt without gaps.
class Replayer : public QObject
{
    Q_OBJECT

public:
    // The clock is handed to the view; both must outlive the replayer's use of them.
    Replayer(DecodedTextView* view, ReplayClock* clock, QObject* parent = nullptr);
    ~Replayer() override;

    bool LoadFile(const QString& path, QString& error);
    bool Load(const QString& xml, QString& error);

    int PieceCount() const;
    int DeliveredCount() const;
    // The recorded time at which the replay begins; invalid before a recording is loaded.
    QDateTime Origin() const;
    // Milliseconds after the start at which a piece is due at the given pace.
    qint64 DueAfter(int piece, double speed) const;

    void Start(double speed);
    // Everything not yet delivered, at once.
    void DeliverAll();

signals:
    void Finished();

private:
    struct Piece {
        QDateTime due;
        QDateTime transmissionStart;
        int channel = 0;
        int id = 0;
        QString text;
        QString contentCode;
        bool rightToLeft = false;
        VarnoResultDataXml::TimeStamp stamp;
        QVector<VarnoResultDataXml::UserData> userData;
    };

    void Take(const VarnoResultDataXml::VarnoResultData& document);
    void AddBlock(const VarnoResultDataXml::Transmission& transmission,
                  const VarnoResultDataXml::DataBlock& block);
    void Step();
    void Deliver(const Piece& piece);

    DecodedTextView* m_view;
    ReplayClock* m_clock;
    QVector<Piece> m_pieces;
    int m_next = 0;
    double m_speed = 1.0;
    bool m_finished = false;
    QElapsedTimer m_elapsed;
    QTimer m_timer;
};
