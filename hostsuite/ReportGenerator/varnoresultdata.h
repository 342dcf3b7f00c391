#pragma once

#include "ivarnoresultdata.h"
#include "reportgenerator_export.h"

#include <QByteArray>
#include <QVector>

namespace VarnoResultDataXml {

class ResultDataXmlReader;
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
    // The same from a document's bytes, in the encoding its declaration or byte order mark
    // names, as a file or socket delivers it.
    bool SetXmlData(const QByteArray& data);
    QString GetXmlString() const override;

private:
    bool Read(ResultDataXmlReader& reader);
    void Clear();

    QVector<Transmission*> m_transmissions;
};

} // namespace VarnoResultDataXml
