#pragma once

#include "ivarnoresultdata.h"
#include "reportgenerator_export.h"

#include <QVector>

namespace VarnoResultDataXml {

class Transmission;

// A whole result-data document: transmissions in the order they were added.
class REPORTGENERATOR_EXPORT VarnoResultData : public IVarnoResultData
{
public:
    VarnoResultData();
    ~VarnoResultData() override;

    VarnoResultData(const VarnoResultData&) = delete;
    VarnoResultData& operator=(const VarnoResultData&) = delete;

    // Takes ownership; null is ignored.
    void AddTransmission(Transmission* transmission);
    const QVector<Transmission*>& GetTransmission() const;

    bool SetXmlString(const QString& xml) override;
    QString GetXmlString() const override;

private:
    void Clear();

    QVector<Transmission*> m_transmissions;
};

} // namespace VarnoResultDataXml
