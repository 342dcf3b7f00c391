#include "decodedtextlayoutitem.h"

DecodedTextLayoutItem::~DecodedTextLayoutItem() = default;
