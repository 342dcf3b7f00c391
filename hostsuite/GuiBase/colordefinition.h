#pragma once

#include "guibase_export.h"

#include <QColor>
#include <QString>

// A colour under the name that style sheets and the operator know it by.
class GUIBASE_EXPORT ColorDefinition
{
public:
    ColorDefinition(const QString& name = QString(), const QColor& color = QColor());

    QString GetName() const;
    QColor GetColor() const;

private:
    QString m_name;
    QColor m_color;
};
