#include "decodedtextproperties.h"

#include "colors.h"

#include <QComboBox>

namespace {

// Names are compared exactly: the registry's spelling is what the style sheet gets.
void SelectName(QComboBox* combo, const QString& name)
{
    const int index = combo->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(index >= 0 ? index : 0);
}

} // namespace

DecodedTextProperties::DecodedTextProperties(QWidget* parent) : QDialog(parent)
{
    setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    const QVector<ColorDefinition>& definitions
        = Colors::Instance().GetColors()->GetColorDefitions();
    for (const ColorDefinition& definition : definitions) {
        const QString name = definition.GetName();
        comboBackground->addItem(name);
        comboForeground->addItem(name);
    }
}

DecodedTextProperties::~DecodedTextProperties() = default;

void DecodedTextProperties::SetBackgroundColor(QString name)
{
    SelectName(comboBackground, name);
}

void DecodedTextProperties::SetForegroundColor(QString name)
{
    SelectName(comboForeground, name);
}

void DecodedTextProperties::SetMaxChars(int maxChars)
{
    spinMaxChars->setValue(maxChars);
}

void DecodedTextProperties::SetQualityThreshold(int threshold)
{
    spinQuality->setValue(threshold);
}

void DecodedTextProperties::SetInfoAreaEnabled(bool enabled)
{
    checkInfoArea->setChecked(enabled);
}

QString DecodedTextProperties::GetBackgroundColor() const
{
    return comboBackground->currentText();
}

QString DecodedTextProperties::GetForegroundColor() const
{
    return comboForeground->currentText();
}

int DecodedTextProperties::GetMaxChars() const
{
    return spinMaxChars->value();
}

int DecodedTextProperties::GetQualityThreshold() const
{
    return spinQuality->value();
}

bool DecodedTextProperties::IsInfoAreaEnabled() const
{
    return checkInfoArea->isChecked();
}
