#pragma once

#include "colordefinition.h"
#include "guibase_export.h"

#include <QVector>

// An ordered list of named colours.
class GUIBASE_EXPORT ColorDefinitionSet
{
public:
    ColorDefinitionSet();
    explicit ColorDefinitionSet(const QVector<ColorDefinition>& definitions);

    // The name's spelling is the interface's.
    const QVector<ColorDefinition>& GetColorDefitions() const;
    void SetColorDefinitions(const QVector<ColorDefinition>& definitions);

private:
    QVector<ColorDefinition> m_definitions;
};
