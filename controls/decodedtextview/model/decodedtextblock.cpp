#include "decodedtextblock.h"

// PENDING: placeholder until implemented
DecodedTextBlock::DecodedTextBlock(int channel_, int id_, const QDateTime& timestamp_)
    : channel(channel_), id(id_), timestamp(timestamp_) {}
DecodedTextBlock::~DecodedTextBlock() = default;
int DecodedTextBlock::StartPosition() const { return 0; }
int DecodedTextBlock::EndPosition() const { return 0; }
int DecodedTextBlock::TextIndex(int) const { return 0; }
int DecodedTextBlock::PositionOfIndex(int) const { return 0; }
int DecodedTextBlock::IndexOfPosition(int, int) const { return -1; }
bool DecodedTextBlock::IsGap(int) const { return false; }
bool DecodedTextBlock::HasQuality() const { return false; }
QString DecodedTextBlock::Text(int, int) const { return {}; }
QString DecodedTextBlock::SnippetText(int) const { return {}; }
QString DecodedTextBlock::TextFromSnippet(int) const { return {}; }
QDateTime DecodedTextBlock::SnippetTime(int) const { return {}; }
QDateTime DecodedTextBlock::TimeAt(int, int) const { return {}; }
QDateTime DecodedTextBlock::LastTimestamp() const { return {}; }
int DecodedTextBlock::FirstVisiblePosition(const DecodedTextSnippet&) const { return -1; }
int DecodedTextBlock::PositionSpan(int, int, int) const { return 0; }
bool DecodedTextBlock::AppendGap(int, int, const QString&) { return false; }
void DecodedTextBlock::TruncateFrom(int) {}
int DecodedTextBlock::TrimFront(int) { return 0; }
int DecodedTextBlock::Clear() { return 0; }
void DecodedTextBlock::AdjustUserData(int, int, int) {}
bool DecodedTextBlock::ApplySeparators(int, const QString&, bool) { return false; }
