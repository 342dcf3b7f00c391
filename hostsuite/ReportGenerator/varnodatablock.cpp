#include "varnodatablock.h"

#include "resultdataxmlreader_p.h"
#include "resultdataxmlwriter_p.h"
#include "varnouserdata.h"

#include <memory>
#include <utility>

namespace VarnoResultDataXml {

DataBlock::DataBlock(int channel, int offset, int reserved)
    : m_channel(channel), m_offset(offset), m_reserved(reserved)
{
}

DataBlock::~DataBlock()
{
    qDeleteAll(m_userData);
}

int DataBlock::GetID() const
{
    return m_id;
}

void DataBlock::SetID(int id)
{
    m_id = id;
}

int DataBlock::GetChannel() const
{
    return m_channel;
}

void DataBlock::SetChannel(int channel)
{
    m_channel = channel;
}

int DataBlock::GetOffset() const
{
    return m_offset;
}

int DataBlock::GetReserved() const
{
    return m_reserved;
}

QString DataBlock::GetContent() const
{
    return m_content;
}

void DataBlock::SetContent(const QString& content)
{
    m_content = content.normalized(QString::NormalizationForm_C);
}

QString DataBlock::GetContentCode() const
{
    return m_contentCode;
}

void DataBlock::SetContentCode(const QString& code)
{
    m_contentCode = code;
}

bool DataBlock::GetContentDirectionRTL() const
{
    return m_rtl;
}

void DataBlock::SetContentDirectionRTL(bool rtl)
{
    m_rtl = rtl;
}

void DataBlock::SetTimeStamp(const QDateTime& time)
{
    m_frameTime = time;
}

void DataBlock::BeginFrame()
{
    m_frameOffset = m_content.size();
    m_frameOpen = true;
}

void DataBlock::AppendData(const QString& data)
{
    m_content += data;
}

void DataBlock::EndFrame()
{
    if (!m_frameOpen)
        return;
    m_frameOpen = false;
    TimeStamp stamp;
    stamp.Time = m_frameTime;
    stamp.Position = m_frameOffset;
    stamp.Quality = -1;
    m_timeStamps.append(stamp);
}

QVector<TimeStamp>& DataBlock::GetTimeStamp()
{
    return m_timeStamps;
}

const QVector<TimeStamp>& DataBlock::GetTimeStamp() const
{
    return m_timeStamps;
}

void DataBlock::AddUserData(UserData* userData)
{
    if (userData)
        m_userData.append(userData);
}

const QVector<UserData*>& DataBlock::GetUserData() const
{
    return m_userData;
}

bool DataBlock::SetXmlString(const QString& xml)
{
    ResultDataXmlReader reader(xml);
    std::unique_ptr<DataBlock> parsed = reader.ReadDataBlockDocument();
    if (!parsed) {
        Clear();
        return false;
    }
    Swap(*parsed);
    return true;
}

QString DataBlock::GetXmlString() const
{
    return ResultDataXmlWriter().WriteDataBlockDocument(*this);
}

void DataBlock::Swap(DataBlock& other)
{
    std::swap(m_id, other.m_id);
    std::swap(m_channel, other.m_channel);
    std::swap(m_offset, other.m_offset);
    std::swap(m_reserved, other.m_reserved);
    m_content.swap(other.m_content);
    m_contentCode.swap(other.m_contentCode);
    std::swap(m_rtl, other.m_rtl);
    m_timeStamps.swap(other.m_timeStamps);
    m_userData.swap(other.m_userData);
    std::swap(m_frameTime, other.m_frameTime);
    std::swap(m_frameOffset, other.m_frameOffset);
    std::swap(m_frameOpen, other.m_frameOpen);
}

void DataBlock::Clear()
{
    DataBlock empty;
    Swap(empty);
}

} // namespace VarnoResultDataXml
