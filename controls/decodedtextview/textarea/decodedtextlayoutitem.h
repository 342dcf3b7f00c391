#pragma once

#include "decodedtextblock.h"
#include "dtv_export.h"

#include <QExplicitlySharedDataPointer>
#include <QTextBlockUserData>

// What one document line shows: a range of block positions of one block.
// Attached to the line as its user data; also used as a plain value for
// ranges that the annotation actions work on.
class DTV_EXPORT DecodedTextLayoutItem : public QTextBlockUserData
{
public:
    DecodedTextLayoutItem() = default;
    DecodedTextLayoutItem(const DecodedTextLayoutItem& other) = default;
    DecodedTextLayoutItem& operator=(const DecodedTextLayoutItem& other) = default;
    ~DecodedTextLayoutItem() override;

    // Held counted, so a block the model dropped lives on while a line shows it.
    QExplicitlySharedDataPointer<DecodedTextBlock> block;
    int start = 0;
    int end = 0;
    int snippet = 0;
    int flags = 0;
};
