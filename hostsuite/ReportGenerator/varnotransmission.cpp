#include "varnotransmission.h"

#include "resultdataxmlreader_p.h"
#include "resultdataxmlwriter_p.h"
#include "varnodatablock.h"

#include <memory>
#include <utility>

namespace VarnoResultDataXml {

Transmission::Transmission() = default;

Transmission::~Transmission()
{
    qDeleteAll(m_blocks);
}

QDateTime Transmission::GetStartTime() const
{
    return m_start;
}

void Transmission::SetStartTime(const QDateTime& time)
{
    m_start = time;
}

QDateTime Transmission::GetStopTime() const
{
    return m_stop;
}

void Transmission::SetStopTime(const QDateTime& time)
{
    m_stop = time;
}

void Transmission::AddDataBlock(DataBlock* block)
{
    if (block)
        m_blocks.append(block);
}

const QVector<DataBlock*>& Transmission::GetDataBlock() const
{
    return m_blocks;
}

bool Transmission::SetXmlString(const QString& xml)
{
    ResultDataXmlReader reader(xml);
    std::unique_ptr<Transmission> parsed = reader.ReadTransmissionDocument();
    if (!parsed) {
        Clear();
        return false;
    }
    Swap(*parsed);
    return true;
}

QString Transmission::GetXmlString() const
{
    return ResultDataXmlWriter().WriteTransmissionDocument(*this);
}

void Transmission::Swap(Transmission& other)
{
    std::swap(m_start, other.m_start);
    std::swap(m_stop, other.m_stop);
    m_blocks.swap(other.m_blocks);
}

void Transmission::Clear()
{
    Transmission empty;
    Swap(empty);
}

} // namespace VarnoResultDataXml
