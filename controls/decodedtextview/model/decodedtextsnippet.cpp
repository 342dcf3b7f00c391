#include "decodedtextsnippet.h"

DecodedTextSnippet::~DecodedTextSnippet() = default;
