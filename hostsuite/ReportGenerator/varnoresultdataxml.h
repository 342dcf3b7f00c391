#pragma once

// The result-data document classes of namespace VarnoResultDataXml in one include.

#include "ivarnoresultdata.h"
#include "varnodatablock.h"
#include "varnoresultdata.h"
#include "varnoresultdataexception.h"
#include "varnotimestamp.h"
#include "varnotransmission.h"
#include "varnouserdata.h"
