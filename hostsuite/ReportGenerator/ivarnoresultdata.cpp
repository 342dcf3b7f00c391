#include "ivarnoresultdata.h"

namespace VarnoResultDataXml {

IVarnoResultData::~IVarnoResultData() = default;

} // namespace VarnoResultDataXml
