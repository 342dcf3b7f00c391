#include "decodedtextdata.h"

// PENDING: placeholder until implemented
void DecodedTextData::AddTransmission(const QString&) {}
void DecodedTextData::AddTransmission(const QMap<int, int>&, QVector<int>&, const QString&) {}
void DecodedTextData::EndTransmission() {}
void DecodedTextData::AddData(VarnoResultDataXml::DataBlock*, const QDateTime&, QExplicitlySharedDataPointer<DecodedTextBlock>) {}
int DecodedTextBlock::AddBlockData(VarnoResultDataXml::DataBlock*, bool, bool*) { return -1; }
