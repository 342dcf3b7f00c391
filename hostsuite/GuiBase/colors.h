#pragma once

#include "colordefinition.h"
#include "colordefinitionset.h"
#include "guibase_export.h"

#include <QVector>

// The suite's colour registry: colour names that Qt style sheets accept, "Black" and
// "White" first.
class GUIBASE_EXPORT Colors
{
public:
    static Colors& Instance();

    // The registry's set; replacing its definitions changes what every user sees.
    ColorDefinitionSet* GetColors();

    // The registry's contents as the suite ships it.
    static QVector<ColorDefinition> DefaultDefinitions();

    Colors(const Colors&) = delete;
    Colors& operator=(const Colors&) = delete;

private:
    Colors();

    ColorDefinitionSet m_set;
};
