#include "decodedtextbuffer.h"

// PENDING: placeholder until implemented
DecodedTextBuffer::DecodedTextBuffer(int channel_) : channel(channel_) {}
DecodedTextBuffer::~DecodedTextBuffer() = default;
QExplicitlySharedDataPointer<DecodedTextBlock> DecodedTextBuffer::LastBlock() const { return {}; }
QExplicitlySharedDataPointer<DecodedTextBlock> DecodedTextBuffer::FirstBlock() const { return {}; }
QExplicitlySharedDataPointer<DecodedTextBlock> DecodedTextBuffer::GetBlock(const QDateTime&, int) { return {}; }
bool DecodedTextBuffer::Trim(int) { return false; }
QString DecodedTextBuffer::TickerText(int) const { return {}; }
void DecodedTextBuffer::RemoveOldBlocks() {}
