#include "decodedtextdata.h"

// PENDING: placeholder until implemented
bool DecodedTextData::SetUserData(QExplicitlySharedDataPointer<DecodedTextBlock>, VarnoResultDataXml::UserData*, const QString&, int, int) { return false; }
QString DecodedTextData::GetModifier() const { return {}; }
QVector<int> DecodedTextData::GetChannelsWithActiveUserData() { return {}; }
void DecodedTextData::ApplyUserChannel() {}
VarnoResultDataXml::UserData* DecodedTextBlock::FindUserData(const QString&, int, int) const { return nullptr; }
void DecodedTextBlock::CollectUserData(const QString&, int, int, QVector<VarnoResultDataXml::UserData*>&) const {}
int DecodedTextBlock::UserDataFlags(int, int) const { return 1; }
void DecodedTextBlock::ToolTip(int, QString&, bool) const {}
int DecodedTextBlock::InsertTypedText(int, int, QString, DecodedTextData*) { return -1; }
QString DecodedTextBlock::TakeEditedData() { return {}; }
void DecodedTextBlock::ImportUserData(const QVector<VarnoResultDataXml::UserData*>&, int) {}
void DecodedTextBlock::MarkEdited(int) {}
void DecodedTextBlock::ApplyChangeText(VarnoResultDataXml::UserData*, int, int) {}
int DecodedTextBlock::RevertChangeText(VarnoResultDataXml::UserData*) { return 0; }
void DecodedTextBlock::ApplyLengthChange(int, int, int, bool) {}
