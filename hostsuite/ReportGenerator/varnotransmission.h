#pragma once

#include "ivarnoresultdata.h"
#include "reportgenerator_export.h"

#include <QDateTime>
#include <QVector>

namespace VarnoResultDataXml {

class DataBlock;

// What the decoders delivered between a start and a stop time, one data block per channel
// and part.
class REPORTGENERATOR_EXPORT Transmission : public IVarnoResultData
{
public:
    Transmission();
    ~Transmission() override;

    Transmission(const Transmission&) = delete;
    Transmission& operator=(const Transmission&) = delete;

    QDateTime GetStartTime() const;
    void SetStartTime(const QDateTime& time);
    QDateTime GetStopTime() const;
    void SetStopTime(const QDateTime& time);

    // Takes ownership; null is ignored.
    void AddDataBlock(DataBlock* block);
    const QVector<DataBlock*>& GetDataBlock() const;

    // A document holding this transmission alone; its element looks the same as inside a
    // whole result-data document.
    bool SetXmlString(const QString& xml) override;
    QString GetXmlString() const override;

private:
    void Swap(Transmission& other);
    void Clear();

    QDateTime m_start;
    QDateTime m_stop;
    QVector<DataBlock*> m_blocks;
};

} // namespace VarnoResultDataXml
