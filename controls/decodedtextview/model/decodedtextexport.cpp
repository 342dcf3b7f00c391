#include "decodedtextdata.h"

// PENDING: placeholder until implemented
void DecodedTextData::GetData(int, VarnoResultDataXml::VarnoResultData&, bool) {}
bool DecodedTextData::IsChanged(int) { return false; }
void DecodedTextBlock::WriteBlock(VarnoResultDataXml::DataBlock*, int, int) {}
