#include "icfg.h"

ICfg::~ICfg() = default;
