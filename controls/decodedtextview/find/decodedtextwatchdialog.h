#pragma once

#include "dtv_export.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// The watch list to add, edit and remove entries: a list whose entries are edited in place
// (double click or F2), a line to add one, and the choice to watch every known call sign.
class DTV_EXPORT DecodedTextWatchDialog : public QDialog
{
    Q_OBJECT

public:
    DecodedTextWatchDialog(const QStringList& words, bool callSigns, QWidget* parent);

    // The entries as the list shows them, blank ones and repeats dropped.
    QStringList Words() const;
    bool WatchCallSigns() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void AddEntry();
    void RemoveEntries();
    void UpdateButtons();

private:
    void Append(const QString& word);

    QListWidget* list;
    QLineEdit* newEntry;
    QPushButton* addButton;
    QPushButton* removeButton;
    QCheckBox* callSigns;
};
