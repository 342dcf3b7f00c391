#include "colordefinitionset.h"

ColorDefinitionSet::ColorDefinitionSet() = default;

ColorDefinitionSet::ColorDefinitionSet(const QVector<ColorDefinition>& definitions)
    : m_definitions(definitions)
{
}

const QVector<ColorDefinition>& ColorDefinitionSet::GetColorDefitions() const
{
    return m_definitions;
}

void ColorDefinitionSet::SetColorDefinitions(const QVector<ColorDefinition>& definitions)
{
    m_definitions = definitions;
}
