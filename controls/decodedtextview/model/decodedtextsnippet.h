#pragma once

#include "dtv_export.h"

#include <QDateTime>

// Snippet flags.
constexpr int SnippetGap = 0x01;
constexpr int SnippetEdited = 0x02;
constexpr int SnippetStale = 0x04;
constexpr int SnippetChannelMark = 0x08;
constexpr int SnippetSeparatorWanted = 0x10;
constexpr int SnippetSeparatorInserted = 0x20;

// A run of a block's characters that share one time and one quality.
class DTV_EXPORT DecodedTextSnippet
{
public:
    DecodedTextSnippet() = default;
    DecodedTextSnippet(const DecodedTextSnippet&) = default;
    DecodedTextSnippet& operator=(const DecodedTextSnippet&) = default;
    virtual ~DecodedTextSnippet();

    int length = 0;
    int start = 0;
    int end = 0;
    int shift = 0;
    int quality = 0;
    int flags = 0;
    int sourceChannel = 0;
    int sourcePosition = 0;
    QDateTime timestamp;
};
