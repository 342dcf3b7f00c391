#include "varnoresultdata.h"

#include "resultdataxmlreader_p.h"
#include "resultdataxmlwriter_p.h"
#include "varnotransmission.h"

#include <memory>
#include <vector>

namespace VarnoResultDataXml {

VarnoResultData::VarnoResultData() = default;

VarnoResultData::~VarnoResultData()
{
    Clear();
}

void VarnoResultData::AddTransmission(Transmission* transmission)
{
    if (transmission)
        m_transmissions.append(transmission);
}

const QVector<Transmission*>& VarnoResultData::GetTransmission() const
{
    return m_transmissions;
}

bool VarnoResultData::SetXmlString(const QString& xml)
{
    ResultDataXmlReader reader(xml);
    return Read(reader);
}

bool VarnoResultData::SetXmlData(const QByteArray& data)
{
    ResultDataXmlReader reader(data);
    return Read(reader);
}

bool VarnoResultData::Read(ResultDataXmlReader& reader)
{
    std::vector<std::unique_ptr<Transmission>> parsed;
    const bool ok = reader.ReadResultDataDocument(parsed);
    Clear();
    if (!ok)
        return false;
    m_transmissions.reserve(static_cast<int>(parsed.size()));
    for (std::unique_ptr<Transmission>& transmission : parsed)
        m_transmissions.append(transmission.release());
    return true;
}

QString VarnoResultData::GetXmlString() const
{
    return ResultDataXmlWriter().WriteResultDataDocument(*this);
}

void VarnoResultData::Clear()
{
    qDeleteAll(m_transmissions);
    m_transmissions.clear();
}

} // namespace VarnoResultDataXml
