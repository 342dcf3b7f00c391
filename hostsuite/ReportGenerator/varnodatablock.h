#pragma once

#include "ivarnoresultdata.h"
#include "reportgenerator_export.h"
#include "varnotimestamp.h"

#include <QDateTime>
#include <QString>
#include <QVector>

namespace VarnoResultDataXml {

class UserData;

// One channel's decoded text of a transmission, with the times of its characters and the
// annotations made on it.
class REPORTGENERATOR_EXPORT DataBlock : public IVarnoResultData
{
public:
    // channel -1 makes a scratch block; offset is where a packed part of a longer block
    // begins; reserved is carried along unchanged.
    explicit DataBlock(int channel = -1, int offset = 0, int reserved = 0);
    ~DataBlock() override;

    DataBlock(const DataBlock&) = delete;
    DataBlock& operator=(const DataBlock&) = delete;

    int GetID() const;
    void SetID(int id);
    int GetChannel() const;
    void SetChannel(int channel);
    int GetOffset() const;
    int GetReserved() const;

    QString GetContent() const;
    // Stores the canonical composition (NFC) of the text, so that equal texts compare equal.
    void SetContent(const QString& content);
    QString GetContentCode() const;
    void SetContentCode(const QString& code);
    bool GetContentDirectionRTL() const;
    void SetContentDirectionRTL(bool rtl);

    // A frame is a run of text with one time: SetTimeStamp, BeginFrame, AppendData (any
    // number), EndFrame. EndFrame adds a TimeStamp at the frame's first character with no
    // quality (-1). AppendData outside a frame only appends text; EndFrame without
    // BeginFrame does nothing.
    void SetTimeStamp(const QDateTime& time);
    void BeginFrame();
    void AppendData(const QString& data);
    void EndFrame();

    QVector<TimeStamp>& GetTimeStamp();
    const QVector<TimeStamp>& GetTimeStamp() const;

    // Takes ownership; null is ignored.
    void AddUserData(UserData* userData);
    const QVector<UserData*>& GetUserData() const;

    // A document holding this block alone.
    bool SetXmlString(const QString& xml) override;
    QString GetXmlString() const override;

private:
    void Swap(DataBlock& other);
    void Clear();

    int m_id = 0;
    int m_channel;
    int m_offset;
    int m_reserved;
    QString m_content;
    QString m_contentCode;
    bool m_rtl = false;
    QVector<TimeStamp> m_timeStamps;
    QVector<UserData*> m_userData;

    QDateTime m_frameTime;
    int m_frameOffset = 0;
    bool m_frameOpen = false;
};

} // namespace VarnoResultDataXml
