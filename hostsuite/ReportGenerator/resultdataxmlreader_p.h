#pragma once

#include <QString>
#include <QXmlStreamReader>
#include <memory>
#include <vector>

class QDateTime;

namespace VarnoResultDataXml {

class DataBlock;
class Transmission;
class UserData;

// Reads result-data documents strictly: every element must be one the format knows, every
// number must be a decimal within IVarnoResultData::ValueLimit, and a document type
// declaration is refused before any entity could be defined. Objects are built fresh, so
// the caller decides whether to take them.
class ResultDataXmlReader
{
public:
    explicit ResultDataXmlReader(const QString& xml);
    // Bytes as stored: the reader takes the encoding from the byte order mark or the XML
    // declaration, UTF-8 when neither says.
    explicit ResultDataXmlReader(const QByteArray& data);

    std::unique_ptr<DataBlock> ReadDataBlockDocument();
    std::unique_ptr<Transmission> ReadTransmissionDocument();
    bool ReadResultDataDocument(std::vector<std::unique_ptr<Transmission>>& transmissions);

    // Why the last read failed.
    QString ErrorString() const;

    // Accepts what ResultDataXmlWriter::FormatTime writes; an empty text is the invalid time.
    static bool ParseTime(const QString& text, QDateTime* time);

private:
    bool OpenRoot(const QString& name);
    bool CloseDocument();
    bool NextChild();
    bool Fail(const QString& message);

    std::unique_ptr<Transmission> ReadTransmission();
    std::unique_ptr<DataBlock> ReadDataBlock();
    bool ReadTimeStamp(DataBlock& block);
    std::unique_ptr<UserData> ReadUserData();
    bool ReadText(QString* text);
    bool ReadEmpty();

    bool ReadNumber(const QString& name, bool required, int* value);
    bool ReadTime(const QString& name, QDateTime* time);
    bool ReadBool(const QString& name, bool* value);

    QXmlStreamReader m_xml;
};

} // namespace VarnoResultDataXml
