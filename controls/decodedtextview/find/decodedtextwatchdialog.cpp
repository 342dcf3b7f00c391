#include "decodedtextwatchdialog.h"

#include "decodedtextmatcher_p.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

DecodedTextWatchDialog::DecodedTextWatchDialog(const QStringList& words, bool watchCallSigns,
                                               QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("WatchDialog"));
    setWindowTitle(tr("Watch list"));

    auto* hint = new QLabel(tr("Words and call signs to watch for in every channel, whole words "
                               "in any case:"),
                            this);
    hint->setWordWrap(true);
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("WatchWords"));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    newEntry = new QLineEdit(this);
    newEntry->setObjectName(QStringLiteral("WatchNewWord"));
    newEntry->setPlaceholderText(tr("New word or call sign"));
    addButton = new QPushButton(tr("Add"), this);
    addButton->setObjectName(QStringLiteral("WatchAdd"));
    addButton->setAutoDefault(false);
    removeButton = new QPushButton(tr("Remove"), this);
    removeButton->setObjectName(QStringLiteral("WatchRemove"));
    removeButton->setAutoDefault(false);
    callSigns = new QCheckBox(tr("Watch known call signs"), this);
    callSigns->setObjectName(QStringLiteral("WatchCallSigns"));
    callSigns->setChecked(watchCallSigns);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* layout = new QGridLayout(this);
    layout->addWidget(hint, 0, 0, 1, 2);
    layout->addWidget(list, 1, 0, 2, 1);
    layout->addWidget(removeButton, 1, 1, Qt::AlignTop);
    layout->addWidget(newEntry, 3, 0);
    layout->addWidget(addButton, 3, 1);
    layout->addWidget(callSigns, 4, 0, 1, 2);
    layout->addWidget(buttons, 5, 0, 1, 2);

    for (const QString& word : DecodedTextMatcher::CleanWords(words))
        Append(word);

    connect(addButton, SIGNAL(clicked()), this, SLOT(AddEntry()));
    // Enter in the new entry's line adds it instead of closing the dialog.
    newEntry->installEventFilter(this);
    connect(newEntry, SIGNAL(textChanged(const QString&)), this, SLOT(UpdateButtons()));
    connect(removeButton, SIGNAL(clicked()), this, SLOT(RemoveEntries()));
    connect(list, SIGNAL(itemSelectionChanged()), this, SLOT(UpdateButtons()));
    connect(buttons, SIGNAL(accepted()), this, SLOT(accept()));
    connect(buttons, SIGNAL(rejected()), this, SLOT(reject()));
    UpdateButtons();
}

QStringList DecodedTextWatchDialog::Words() const
{
    QStringList words;
    for (int i = 0; i < list->count(); ++i)
        words.append(list->item(i)->text());
    return DecodedTextMatcher::CleanWords(words);
}

bool DecodedTextWatchDialog::WatchCallSigns() const
{
    return callSigns->isChecked();
}

bool DecodedTextWatchDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == newEntry && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if (enter && !newEntry->text().trimmed().isEmpty()) {
            AddEntry();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DecodedTextWatchDialog::Append(const QString& word)
{
    auto* item = new QListWidgetItem(word, list);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
}

void DecodedTextWatchDialog::AddEntry()
{
    const QString word = newEntry->text().simplified();
    if (word.isEmpty())
        return;
    if (!DecodedTextMatcher::CleanWords(QStringList(Words()) << word).endsWith(word))
        return; // there already, in some case
    Append(word);
    list->scrollToBottom();
    newEntry->clear();
}

void DecodedTextWatchDialog::RemoveEntries()
{
    qDeleteAll(list->selectedItems());
    UpdateButtons();
}

void DecodedTextWatchDialog::UpdateButtons()
{
    addButton->setEnabled(!newEntry->text().trimmed().isEmpty());
    removeButton->setEnabled(!list->selectedItems().isEmpty());
}
