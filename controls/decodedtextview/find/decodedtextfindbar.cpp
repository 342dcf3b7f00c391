#include "decodedtextfindbar.h"

#include "decodedtextfinder.h"
#include "decodedtextwatch.h"
#include "decodedtextwatchdialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

DecodedTextFindBar::DecodedTextFindBar(DecodedTextFinder* finder, QWidget* parent)
    : QWidget(parent), finder(finder)
{
    setObjectName(QStringLiteral("FindBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);

    textEdit = new QLineEdit(this);
    textEdit->setObjectName(QStringLiteral("FindText"));
    textEdit->setPlaceholderText(tr("Find in all channels"));
    textEdit->installEventFilter(this);

    auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        return b;
    };
    previousButton = button("FindPrevious", QStringLiteral("\u25b2"),
                            tr("Previous match (Shift+Enter, Shift+F3)"));
    nextButton = button("FindNext", QStringLiteral("\u25bc"), tr("Next match (Enter, F3)"));
    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("FindCount"));
    countLabel->setMinimumWidth(countLabel->fontMetrics().horizontalAdvance(
        QStringLiteral("0000 of 00000")));
    matchCase = new QCheckBox(tr("Match case"), this);
    matchCase->setObjectName(QStringLiteral("FindMatchCase"));
    watchButton = button("FindWatch", tr("Watch"), tr("Add the text to the watch list"));
    watchListButton = button("FindWatchList", tr("Watch list\u2026"),
                             tr("Add, edit and remove watched words"));
    closeButton = button("FindClose", QStringLiteral("\u2715"), tr("Close (Escape)"));

    layout->addWidget(textEdit, 1);
    layout->addWidget(previousButton);
    layout->addWidget(nextButton);
    layout->addWidget(countLabel);
    layout->addWidget(matchCase);
    layout->addWidget(watchButton);
    layout->addWidget(watchListButton);
    layout->addWidget(closeButton);

    connect(textEdit, SIGNAL(textChanged(const QString&)), this, SLOT(Search()));
    connect(matchCase, SIGNAL(toggled(bool)), this, SLOT(Search()));
    connect(previousButton, SIGNAL(clicked()), finder, SLOT(FindPrevious()));
    connect(nextButton, SIGNAL(clicked()), finder, SLOT(FindNext()));
    connect(closeButton, SIGNAL(clicked()), finder, SLOT(CloseBar()));
    connect(watchButton, SIGNAL(clicked()), this, SLOT(AddToWatch()));
    connect(watchListButton, SIGNAL(clicked()), this, SLOT(EditWatchList()));
    connect(finder, SIGNAL(CountChanged()), this, SLOT(ShowCount()));
    ShowCount();
}

void DecodedTextFindBar::Open()
{
    show();
    textEdit->setFocus(Qt::ShortcutFocusReason);
    textEdit->selectAll();
    Search();
}

QString DecodedTextFindBar::CountText() const
{
    return countLabel->text();
}

void DecodedTextFindBar::Search()
{
    if (!isHidden())
        finder->SetText(textEdit->text(), matchCase->isChecked());
    watchButton->setEnabled(!textEdit->text().trimmed().isEmpty());
    ShowCount();
}

void DecodedTextFindBar::ShowCount()
{
    const int count = finder->Count();
    const int current = finder->Current();
    if (finder->Text().isEmpty())
        countLabel->clear();
    else if (count == 0)
        countLabel->setText(tr("No matches"));
    else if (current == 0)
        countLabel->setText(count == 1 ? tr("1 match") : tr("%1 matches").arg(count));
    else
        countLabel->setText(tr("%1 of %2").arg(current).arg(count));
}

void DecodedTextFindBar::AddToWatch()
{
    DecodedTextWatch* watch = finder->Watch();
    if (!watch || textEdit->text().trimmed().isEmpty())
        return;
    watch->SetWords(watch->Words() << textEdit->text());
}

void DecodedTextFindBar::EditWatchList()
{
    DecodedTextWatch* watch = finder->Watch();
    if (!watch)
        return;
    DecodedTextWatchDialog dialog(watch->Words(), watch->WatchCallSigns(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    watch->SetWords(dialog.Words());
    watch->SetWatchCallSigns(dialog.WatchCallSigns());
}

bool DecodedTextFindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == textEdit && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                finder->Previous();
            else
                finder->Next();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DecodedTextFindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        finder->CloseBar();
        return;
    }
    QWidget::keyPressEvent(event);
}
