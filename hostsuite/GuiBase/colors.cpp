#include "colors.h"

#include <QColor>

Colors::Colors() : m_set(DefaultDefinitions())
{
}

Colors& Colors::Instance()
{
    static Colors instance;
    return instance;
}

ColorDefinitionSet* Colors::GetColors()
{
    return &m_set;
}

QVector<ColorDefinition> Colors::DefaultDefinitions()
{
    // Names from the SVG colour keywords, which both QColor and style sheets understand.
    static const char* const names[] = {
        "Black",     "White",    "Red",       "Green",       "Blue",       "Yellow",
        "Cyan",      "Magenta",  "Gray",      "DarkGray",    "LightGray",  "DarkRed",
        "DarkGreen", "DarkBlue", "DarkCyan",  "DarkMagenta", "Orange",     "Brown",
        "Navy",      "Olive",    "Teal",      "Purple",      "Maroon",     "Silver",
        "Lime",      "Gold",     "Pink",      "Beige",       "Ivory",      "LightYellow",
        "LightCyan", "LightBlue", "LightGreen", "Khaki",     "Salmon",     "SkyBlue",
    };
    QVector<ColorDefinition> definitions;
    for (const char* name : names) {
        const QString text = QLatin1String(name);
        definitions.append(ColorDefinition(text, QColor(text)));
    }
    return definitions;
}
