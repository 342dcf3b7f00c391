#include "decodedtextdata.h"

// PENDING: placeholder until implemented
bool DecodedTextBlock::MergeIntoAggregation(QExplicitlySharedDataPointer<DecodedTextBlock>, QExplicitlySharedDataPointer<DecodedTextBlock>, DecodedTextData*, int, bool*) { return true; }
int DecodedTextBlock::FindInsertIndex(int, const QDateTime&) const { return 0; }
void DecodedTextBlock::ReplaceSnippetText(int, int, int, int, bool, const QString&) {}
void DecodedTextBlock::ShiftFollowing(int, int) {}
void DecodedTextBlock::RemoveUserDataStartingIn(int, int) {}
void DecodedTextBlock::UpdateChannelMarks(int, DecodedTextData*) {}
