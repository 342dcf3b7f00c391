#include "colordefinition.h"

ColorDefinition::ColorDefinition(const QString& name, const QColor& color)
    : m_name(name), m_color(color)
{
}

QString ColorDefinition::GetName() const
{
    return m_name;
}

QColor ColorDefinition::GetColor() const
{
    return m_color;
}
