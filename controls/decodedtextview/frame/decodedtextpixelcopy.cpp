#include "decodedtextpixelcopy_p.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

namespace DecodedTextPixelCopy {

bool Copyable(const QPainter* painter)
{
    const QPaintEngine* engine = painter->paintEngine();
    const QPaintDevice* target = engine ? engine->paintDevice() : nullptr;
    const QTransform transform = painter->deviceTransform();
    if (!target || engine->type() != QPaintEngine::Raster || painter->opacity() != 1.0
        || painter->compositionMode() != QPainter::CompositionMode_SourceOver
        || painter->device()->devicePixelRatioF() != 1.0
        || transform.type() > QTransform::TxTranslate || transform.dx() != qRound(transform.dx())
        || transform.dy() != qRound(transform.dy()))
        return false;
    if (target->devType() == QInternal::Image) {
        const QImage::Format format = static_cast<const QImage*>(target)->format();
        return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
            || format == QImage::Format_ARGB32_Premultiplied;
    }
    return target->devType() == QInternal::Pixmap && target->depth() == 32;
}

} // namespace DecodedTextPixelCopy
