#pragma once

class QPainter;

// Whether pixels kept from an earlier drawing can stand in for drawing again: an unscaled,
// unrotated raster target of 32-bit pixels, drawn on whole pixels, opaque, over what lies below.
namespace DecodedTextPixelCopy {

bool Copyable(const QPainter* painter);

} // namespace DecodedTextPixelCopy
