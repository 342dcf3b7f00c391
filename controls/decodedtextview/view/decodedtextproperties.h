#pragma once

#include "dtv_export.h"
#include "ui_decodedtextproperties.h"

#include <QDialog>
#include <QString>

class QWidget;

// The display properties that the model keeps for all channels, edited by the operator.
// Reads and writes nothing but its own widgets; the caller moves values in and out.
class DTV_EXPORT DecodedTextProperties : public QDialog, public ::Ui_DecodedTextProperties {
    Q_OBJECT

public:
    explicit DecodedTextProperties(QWidget* parent);
    ~DecodedTextProperties() override;

    void SetBackgroundColor(QString name);
    void SetForegroundColor(QString name);
    void SetMaxChars(int maxChars);
    void SetQualityThreshold(int threshold);
    void SetInfoAreaEnabled(bool enabled);
    QString GetBackgroundColor() const;
    QString GetForegroundColor() const;
    int GetMaxChars() const;
    int GetQualityThreshold() const;
    bool IsInfoAreaEnabled() const;

private:
    Q_DISABLE_COPY(DecodedTextProperties)
};
