#pragma once

#include "reportgenerator_export.h"

#include <QDateTime>
#include <QString>

namespace VarnoResultDataXml {

// One annotation of a data block's text, covering the positions Start to End.
class REPORTGENERATOR_EXPORT UserData
{
public:
    UserData();
    UserData(const UserData& other);
    UserData& operator=(const UserData& other);
    virtual ~UserData();

    // Values of Type.
    static const QString CallSignType; // "CallSign"
    static const QString CommentType;  // "Comment"
    static const QString ChangeType;   // "Change"

    int Start = 0;
    int End = 0;
    int Channel = 0; // source channel of an automatically placed call sign
    QString Type;
    QString Text;         // covered text, or a change's new text
    QString Comment;
    QString ReplacedText; // what a change replaced
    QString CallSign;
    QString Modifier;     // user who made the annotation
    QDateTime ChangeTime; // UTC
};

} // namespace VarnoResultDataXml
