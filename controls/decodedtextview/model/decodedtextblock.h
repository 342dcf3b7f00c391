#pragma once

#include "decodedtextsnippet.h"
#include "dtv_export.h"

#include <QExplicitlySharedDataPointer>
#include <QList>
#include <QSharedData>
#include <QString>
#include <QVector>

class DecodedTextData;
namespace VarnoResultDataXml {
class DataBlock;
class UserData;
}

// The text of one transmission in one channel, cut into snippets, with its annotations.
class DTV_EXPORT DecodedTextBlock : public QSharedData
{
public:
    DecodedTextBlock(int channel, int id, const QDateTime& timestamp);
    virtual ~DecodedTextBlock();

    // Position space and text.
    int StartPosition() const;
    int EndPosition() const;
    int TextIndex(int position) const;
    int PositionOfIndex(int index) const;
    int IndexOfPosition(int position, int fromSnippet) const;
    bool IsGap(int i) const;
    bool HasQuality() const;
    QString Text(int fromPosition, int toPosition) const;
    QString SnippetText(int i) const;
    QString TextFromSnippet(int i) const;
    QDateTime SnippetTime(int i) const;
    QDateTime TimeAt(int position, int fromSnippet) const;
    QDateTime LastTimestamp() const;
    int FirstVisiblePosition(const DecodedTextSnippet& snippet) const;
    int PositionSpan(int i, int position, int count) const;

    bool AppendGap(int startPosition, int endPosition, const QString& newText);
    void TruncateFrom(int position);
    int TrimFront(int excess);
    int Clear();
    void AdjustUserData(int from, int to, int delta);
    bool ApplySeparators(int fromSnippet, const QString& separator, bool insert);

    // Intake and export.
    int AddBlockData(VarnoResultDataXml::DataBlock* block, bool skipText, bool* refresh);
    void WriteBlock(VarnoResultDataXml::DataBlock* target, int fromPosition, int fromSnippet);

    // Annotations.
    VarnoResultDataXml::UserData* FindUserData(const QString& type, int from, int to) const;
    void CollectUserData(const QString& type, int from, int to,
                         QVector<VarnoResultDataXml::UserData*>& out) const;
    int UserDataFlags(int from, int to) const;
    void ToolTip(int position, QString& out, bool withTime) const;
    int InsertTypedText(int index, int count, QString text, DecodedTextData* model);
    QString TakeEditedData();
    void ImportUserData(const QVector<VarnoResultDataXml::UserData*>& incoming, int offset);
    void MarkEdited(int position);
    void ApplyChangeText(VarnoResultDataXml::UserData* change, int from, int to);
    int RevertChangeText(VarnoResultDataXml::UserData* change);
    void ApplyLengthChange(int from, int to, int delta, bool revert);

    // Aggregation merge; the block these are called on is the aggregation block.
    static bool MergeIntoAggregation(QExplicitlySharedDataPointer<DecodedTextBlock> aggregation,
                                     QExplicitlySharedDataPointer<DecodedTextBlock> source,
                                     DecodedTextData* model, int fromSnippet, bool* refresh);
    int FindInsertIndex(int sourceChannel, const QDateTime& timestamp) const;
    void ReplaceSnippetText(int index, int sourceChannel, int sourcePosition, int width, bool gap,
                            const QString& piece);
    void ShiftFollowing(int index, int delta);
    void RemoveUserDataStartingIn(int from, int to);
    void UpdateChannelMarks(int fromSnippet, DecodedTextData* model);

    int channel;
    int id;
    QDateTime timestamp;
    QString text;
    QString contentCode;
    bool rightToLeft = false;
    bool closed = false;
    bool changed = false;
    int userDataCount = 0;
    int streamPosition = 0;
    QList<DecodedTextSnippet> snippets;
    QVector<VarnoResultDataXml::UserData*> userData;

private:
    friend class DecodedTextData;

    void ForgetAnnotationsFrom(int index);

    // What AdjustUserData learnt of the leading annotations: the objects, in the order seen,
    // and for each the highest position it or one before it reaches. An edit behind that
    // reach leaves them as they are, so only the annotations after them are walked.
    QVector<VarnoResultDataXml::UserData*> reachOwners;
    QVector<qint64> reachUpTo;

    Q_DISABLE_COPY(DecodedTextBlock)
};
