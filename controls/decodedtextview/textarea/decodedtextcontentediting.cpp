#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtexthighlighter.h"
#include "decodedtextlivefollow_p.h"
#include "decodedtextproperties.h"
#include "decodedtextwords_p.h"
#include "varnoresultdataxml.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QInputDialog>
#include <QShortcut>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

using VarnoResultDataXml::UserData;

namespace {

DecodedTextLayoutItem* ItemOf(const QTextBlock& line)
{
    return dynamic_cast<DecodedTextLayoutItem*>(line.userData());
}

// Sets a flag for one scope and clears it on every way out, exceptions included: a flag
// left set would freeze the document (busy) or its scrolling (dialogOpen) for good.
template<typename T> class ScopedFlag {
public:
    explicit ScopedFlag(T& flag) : flag(flag) { flag = T(1); }
    ~ScopedFlag() { flag = T(); }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    T& flag;
};

// The annotation entries of the context menu keep the texts they got when first shown,
// in the generic context, as the library's other fixed texts do.
enum ActionText {
    DefineCallSignText,
    InsertCommentText,
    InsertTextText,
    EditSelectionText,
    DeleteCallSignText,
    DeleteCommentText,
    DeleteSelectionText,
    DeleteSectionText,
    PropertiesText,
    ActionTextCount
};

const char* const ActionSources[ActionTextCount] = {
    QT_TRANSLATE_NOOP("QObject", "Define Call Sign"),
    QT_TRANSLATE_NOOP("QObject", "Insert Comment"),
    QT_TRANSLATE_NOOP("QObject", "Insert Text"),
    QT_TRANSLATE_NOOP("QObject", "Edit Selection"),
    QT_TRANSLATE_NOOP("QObject", "Delete Call Sign"),
    QT_TRANSLATE_NOOP("QObject", "Delete Comment"),
    QT_TRANSLATE_NOOP("QObject", "Delete Selection"),
    QT_TRANSLATE_NOOP("QObject", "Delete Section"),
    QT_TRANSLATE_NOOP("QObject", "Properties"),
};

const QString& Text(ActionText which)
{
    static const QVector<QString> texts = [] {
        QVector<QString> out;
        for (const char* source : ActionSources)
            out.append(QCoreApplication::translate("QObject", source));
        return out;
    }();
    return texts.at(which);
}

QAction* AddAction(QMenu* menu, const QString& text, QObject* receiver, const char* slot)
{
    auto* action = new QAction(text, menu);
    QObject::connect(action, SIGNAL(triggered()), receiver, slot);
    menu->addAction(action);
    return action;
}

// A new annotation of a type, signed by the operator now.
UserData* NewAnnotation(DecodedTextData* model, const QString& type)
{
    auto* annotation = new UserData;
    annotation->Type = type;
    annotation->Modifier = model->GetModifier();
    annotation->ChangeTime = QDateTime::currentDateTime().toUTC();
    return annotation;
}

const QString DeletedMarker = QStringLiteral("[...deleted...]");

} // namespace

// ---------------------------------------------------------------------------
// Ranges and the context menu

int DecodedTextContent::UpdateSelectionItem(int from, int to)
{
    selectionItem = DecodedTextLayoutItem();
    const int len = to - from;

    for (QTextBlock line = document()->findBlock(from); line.isValid(); line = line.next()) {
        const DecodedTextLayoutItem* item = ItemOf(line);
        if (!item || !item->block || item->block->closed || item->block->IsGap(item->snippet)) {
            selectionItem = DecodedTextLayoutItem();
            return 0;
        }
        if (selectionItem.block == item->block) {
            selectionItem.end = item->end;
        } else {
            // Where the range reaches into a later block without a separator line, this
            // re-bases it on that block; the model judges what it then covers.
            selectionItem.block = item->block;
            selectionItem.start = item->start + (from - line.position());
            selectionItem.end = item->end;
            if (selectionItem.end - selectionItem.start < 0)
                selectionItem.end = selectionItem.start + len;
        }
        if (selectionItem.end - selectionItem.start > len)
            selectionItem.end = selectionItem.start + len;
        if (selectionItem.end - selectionItem.start >= len)
            break;
    }

    int f = 0;
    if (selectionItem.block) {
        f = selectionItem.block->UserDataFlags(selectionItem.start, selectionItem.end);
        if (f != 0 && to > from)
            f |= 16;
    }
    selectionItem.flags = f;
    return f;
}

int DecodedTextContent::FlagsAtPoint(const QPoint& point)
{
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection())
        return UpdateSelectionItem(cursor.selectionStart(), cursor.selectionEnd());
    const int p = cursorForPosition(point).position();
    return UpdateSelectionItem(p, p);
}

void DecodedTextContent::AddActions(QMenu* menu, const QPoint& point)
{
    AddAction(menu, tr("Clear all channels"), this, SLOT(SlotClearAll()))
        ->setObjectName(QStringLiteral("ClearAllAction"));
    menu->addSeparator();

    auto* coding = new QAction(tr("Morse ColorCoding"), menu);
    coding->setObjectName(QStringLiteral("ColorCodingAction"));
    coding->setCheckable(true);
    coding->setChecked(colorCoding);
    connect(coding, SIGNAL(toggled(bool)), this, SLOT(SlotColorCoding(bool)));
    menu->addAction(coding);

    auto* tooltipTime = new QAction(tr("Tooltip with timestamp"), menu);
    tooltipTime->setObjectName(QStringLiteral("TooltipTimeAction"));
    tooltipTime->setCheckable(true);
    tooltipTime->setChecked(tooltipWithTime);
    connect(tooltipTime, SIGNAL(toggled(bool)), this, SLOT(SlotTooltipTime(bool)));
    menu->addAction(tooltipTime);
    menu->addSeparator();

    if (model->UserDataEnabled()) {
        if (!model->ChannelExists(DecodedTextData::UserChannelID))
            AddAction(menu, tr("Show user channel"), model, SLOT(ShowUserChannel()));

        const int f = FlagsAtPoint(point);
        int g = f;
        if (f & 16)
            g |= editable ? 6 : 14;
        if (f != 0)
            menu->addSeparator();
        if (g & 4)
            AddAction(menu, Text(DefineCallSignText), this, SLOT(EditCallSign()));
        if (g & 2)
            AddAction(menu, Text(InsertCommentText), this, SLOT(InsertComment()));
        if (g == 1 && !editable)
            AddAction(menu, Text(InsertTextText), this, SLOT(InsertText()));
        if (g & 8)
            AddAction(menu, Text(EditSelectionText), this, SLOT(EditSelection()));
        if (f & 4)
            AddAction(menu, Text(DeleteCallSignText), this, SLOT(DeleteCallSign()));
        if (f & 2)
            AddAction(menu, Text(DeleteCommentText), this, SLOT(DeleteComment()));
        if (f & 8)
            AddAction(menu, Text(DeleteSelectionText), this, SLOT(DeleteSelection()));
        if (!(f & 8) && (g & 8))
            AddAction(menu, Text(DeleteSectionText), this, SLOT(DeleteSection()));
    }

    menu->addSeparator();
    AddAction(menu, Text(PropertiesText), this, SLOT(SlotShowProperties()))
        ->setObjectName(QStringLiteral("PropertiesAction"));
}

// ---------------------------------------------------------------------------
// Annotations

QVector<UserData*> DecodedTextContent::UserDataInSelection(const QString& type) const
{
    QVector<UserData*> list;
    if (selectionItem.block)
        selectionItem.block->CollectUserData(type, selectionItem.start, selectionItem.end, list);
    return list;
}

bool DecodedTextContent::StoreUserData(QExplicitlySharedDataPointer<DecodedTextBlock> block,
                                       UserData* userData, const QString& type, int from, int to)
{
    // Without a block (a range that vanished meanwhile) there is nowhere to keep it either.
    const bool stored = block && model->SetUserData(block, userData, type, from, to);
    if (!stored) {
        QMessageBox::warning(this, tr("Save"),
                             tr("Unable to save modification. The transmission is finished."),
                             QMessageBox::Ok);
        delete userData;
    }
    if (editable)
        emit OnModification(true);
    return stored;
}

void DecodedTextContent::MarkCallSign(const QString& callSign)
{
    ScopedFlag<int> guard(busy);
    model->IndexOfCallSign(callSign);

    const QExplicitlySharedDataPointer<DecodedTextBlock> b = selectionItem.block;
    const int s = selectionItem.start;
    const int e = selectionItem.end;
    UserData* annotation = NewAnnotation(model, UserData::CallSignType);
    annotation->Text = b ? b->Text(s, e) : QString();
    annotation->Start = s;
    annotation->End = e;
    annotation->CallSign = callSign;
    StoreUserData(b, annotation, UserData::CallSignType, s, e);

    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    setTextCursor(cursor);
    highlighter->RehighlightAll();
    document()->clearUndoRedoStacks();
}

void DecodedTextContent::EditCallSign()
{
    ScopedFlag<bool> open(dialogOpen);

    const QVector<UserData*> list = UserDataInSelection(UserData::CallSignType);
    int index = 0;
    if (!list.isEmpty())
        index = model->IndexOfCallSign(list.first()->CallSign);

    QInputDialog dialog(this);
    dialog.setWindowTitle(tr("Define Call Sign"));
    dialog.setLabelText(tr("Type"));
    const QStringList callSigns = model->GetCallSigns();
    dialog.setComboBoxItems(callSigns);
    // Editable first, so that a text outside the list is kept as typed.
    dialog.setComboBoxEditable(true);
    // A new call sign starts from the text the operator selected, not from some other sign
    // that Enter would then put on it.
    QString start = textCursor().selectedText().replace(QChar::ParagraphSeparator, QLatin1Char(' ')).trimmed();
    if (!list.isEmpty() || start.isEmpty())
        start = index >= 0 && index < callSigns.size() ? callSigns.at(index) : QString();
    dialog.setTextValue(start);
    dialog.setInputMethodHints(Qt::ImhNone);
    dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);

    const bool accepted = dialog.exec() == QDialog::Accepted;
    const QString text = dialog.textValue();
    if (accepted && !text.isEmpty())
        MarkCallSign(text);
}

void DecodedTextContent::InsertComment()
{
    ScopedFlag<bool> open(dialogOpen);

    QString text;
    const UserData* previous = nullptr;
    const QVector<UserData*> comments = UserDataInSelection(UserData::CommentType);
    for (const UserData* comment : comments) {
        if (!previous || comment->Comment != previous->Comment) {
            if (!text.isEmpty())
                text += QLatin1Char(' ');
            text += comment->Comment;
        }
        previous = comment;
    }

    QInputDialog dialog(this);
    dialog.setWindowTitle(tr("Insert Comment"));
    dialog.setLabelText(tr("Comment"));
    dialog.setTextValue(text);
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setInputMethodHints(Qt::ImhNone);
    dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);

    const bool accepted = dialog.exec() == QDialog::Accepted;
    const QString comment = dialog.textValue();
    if (!accepted || comment.isEmpty())
        return;

    ScopedFlag<int> guard(busy);
    const QExplicitlySharedDataPointer<DecodedTextBlock> b = selectionItem.block;
    const int s = selectionItem.start;
    const int e = selectionItem.end;
    UserData* annotation = NewAnnotation(model, UserData::CommentType);
    annotation->Text = b ? b->Text(s, e) : QString();
    annotation->Start = s;
    annotation->End = e;
    annotation->Comment = comment;
    StoreUserData(b, annotation, UserData::CommentType, s, e);

    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    setTextCursor(cursor);
    highlighter->RehighlightAll();
    document()->clearUndoRedoStacks();
}

void DecodedTextContent::RemoveUserData(const QString& type)
{
    {
        ScopedFlag<int> guard(busy);
        StoreUserData(selectionItem.block, nullptr, type, selectionItem.start, selectionItem.end);
        QTextCursor cursor = textCursor();
        cursor.clearSelection();
        setTextCursor(cursor);
    }
    // Removing a change brings other text back; the others only change colours.
    if (type == UserData::ChangeType)
        RefreshContent();
    else
        highlighter->RehighlightAll();
}

void DecodedTextContent::SelectionTexts(QString& shownText, QString& decodedText, QString& comments)
{
    const QVector<UserData*> changes = UserDataInSelection(UserData::ChangeType);
    // A change is edited as a whole, never in part.
    for (const UserData* change : changes) {
        selectionItem.start = qMin(selectionItem.start, change->Start);
        selectionItem.end = qMax(selectionItem.end, change->End);
    }

    shownText = selectionItem.block
        ? selectionItem.block->Text(selectionItem.start, selectionItem.end)
        : QString();
    decodedText = shownText;
    comments.clear();

    const UserData* previous = nullptr;
    for (const UserData* change : changes) {
        if (!previous || change->Comment != previous->Comment) {
            if (!comments.isEmpty())
                comments += QLatin1Char(' ');
            comments += change->Comment;
        }
        previous = change;
        const int o = change->Start - selectionItem.start;
        const int n = change->End - change->Start;
        if (o >= 0 && o < decodedText.size() && n >= 0)
            decodedText.replace(o, n, change->ReplacedText);
    }
}

void DecodedTextContent::EditTextDialog(const QString& title)
{
    ScopedFlag<bool> open(dialogOpen);

    QString shownText;
    QString decodedText;
    QString comments;
    SelectionTexts(shownText, decodedText, comments);

    QDialog dialog(this);
    dialog.setWindowTitle(title);
    dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* layout = new QVBoxLayout(&dialog);
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    auto* editor = new QPlainTextEdit(shownText, &dialog);
    // Finished by keyboard: Tab goes on to the comment, Ctrl+Enter accepts.
    editor->setTabChangesFocus(true);
    for (const int key : { Qt::Key_Return, Qt::Key_Enter })
        connect(new QShortcut(QKeySequence(int(Qt::CTRL) | key), &dialog), SIGNAL(activated()),
                &dialog, SLOT(accept()));
    layout->addWidget(editor);
    layout->addWidget(new QLabel(tr("Comment"), &dialog));
    auto* commentEdit = new QLineEdit(comments, &dialog);
    layout->addWidget(commentEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
                                         Qt::Horizontal, &dialog);
    connect(buttons, SIGNAL(accepted()), &dialog, SLOT(accept()));
    connect(buttons, SIGNAL(rejected()), &dialog, SLOT(reject()));
    layout->addWidget(buttons);
    dialog.adjustSize();
    editor->setFocus();
    editor->selectAll();

    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString newText = editor->toPlainText();
    const QString newComment = commentEdit->text();
    if (newText == shownText && newComment == comments)
        return;
    ApplyChange(newText, decodedText, newComment);
}

void DecodedTextContent::ApplyChange(const QString& newText, const QString& decodedText,
                                     const QString& comment)
{
    {
        ScopedFlag<int> guard(busy);
        const QExplicitlySharedDataPointer<DecodedTextBlock> b = selectionItem.block;
        const int s = selectionItem.start;
        UserData* annotation = NewAnnotation(model, UserData::ChangeType);
        annotation->Start = s;
        annotation->End = s + newText.size();
        annotation->Text = newText;
        annotation->ReplacedText = decodedText;
        annotation->Comment = comment;
        // The model replaces the old range; the annotation covers the new text.
        StoreUserData(b, annotation, UserData::ChangeType, s, selectionItem.end);
        QTextCursor cursor = textCursor();
        cursor.clearSelection();
        setTextCursor(cursor);
    }
    RefreshContent();
}

void DecodedTextContent::SlotClearAll()
{
    if (editable)
        emit OnModification(false);
    model->ResetView();
}

void DecodedTextContent::DeleteCallSign()
{
    RemoveUserData(UserData::CallSignType);
}

void DecodedTextContent::InsertText()
{
    EditTextDialog(tr("Insert Text"));
}

void DecodedTextContent::EditSelection()
{
    EditTextDialog(tr("Edit Selection"));
}

void DecodedTextContent::DeleteComment()
{
    RemoveUserData(UserData::CommentType);
}

void DecodedTextContent::DeleteSelection()
{
    RemoveUserData(UserData::ChangeType);
}

void DecodedTextContent::DeleteSection()
{
    QString shownText;
    QString decodedText;
    QString comments;
    SelectionTexts(shownText, decodedText, comments);
    ApplyChange(DeletedMarker, decodedText, comments);
}

bool DecodedTextContent::SelectCallSign(const QString& callSign, bool selectionOnly)
{
    if (callSign.isEmpty())
        return false;

    if (!textCursor().hasSelection()) {
        if (selectionOnly)
            return false;
        // Without a selection the newest word is the one the call sign belongs to.
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        bool moved = cursor.movePosition(QTextCursor::PreviousWord);
        if (moved)
            moved = cursor.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
        else
            moved = cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, 2);
        if (!moved)
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
    }

    const QTextCursor cursor = textCursor();
    if (UpdateSelectionItem(cursor.selectionStart(), cursor.selectionEnd()) == 0)
        return false;
    MarkCallSign(callSign);
    return true;
}

// ---------------------------------------------------------------------------
// Typing in the user channel

void DecodedTextContent::SlotTextChanged(int position, int charsRemoved, int charsAdded)
{
    // The widget's own rebuilds must not be sent back as typing.
    if (busy || !editable)
        return;

    QString text;
    text.reserve(charsAdded);
    for (int i = 0; i < charsAdded; ++i)
        text += document()->characterAt(position + i);

    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer
        = model->GetChannelData(DecodedTextData::UserChannelID);
    if (!buffer)
        return;
    QExplicitlySharedDataPointer<DecodedTextBlock> last = buffer->LastBlock();
    if (!last)
        last = buffer->GetBlock(model->GetTickCount(), 1);
    if (!last)
        return;

    // The document characters of every older block and of the separator line after it.
    int offset = 0;
    for (const auto& block : qAsConst(buffer->blocks)) {
        if (block == last)
            break;
        offset += block->text.size() + (block->text.endsWith(QLatin1Char('\n')) ? 1 : 2);
    }

    const int r = last->InsertTypedText(position - offset, charsRemoved, text, model);
    if (r < 0)
        return;
    AfterUserEdit(last, r, r + offset);
    emit OnModification(true);
}

void DecodedTextContent::AfterUserEdit(QExplicitlySharedDataPointer<DecodedTextBlock> block, int r,
                                       int documentPosition)
{
    {
        ScopedFlag<int> guard(busy);
        QTextBlock line = document()->findBlock(documentPosition);
        int k = 0;
        int position = r;

        if (DecodedTextLayoutItem* item = ItemOf(line)) {
            k = item->snippet;
            item->end = item->start + block->PositionSpan(k, item->start, line.length());
            position = item->end;
            line = line.next();
        }
        for (; line.isValid(); line = line.next()) {
            k = block->IndexOfPosition(position, k);
            if (k < 0)
                break;
            DecodedTextLayoutItem* item = ItemOf(line);
            if (item) {
                item->start = position;
                item->snippet = k;
            } else {
                item = new DecodedTextLayoutItem;
                item->block = block;
                item->start = position;
                item->end = position;
                item->snippet = k;
                line.setUserData(item);
            }
            item->end = item->start + block->PositionSpan(k, item->start, line.length());
            position = item->end;
        }

        highlighter->RehighlightAll();
        if (QWidget* pane = parentWidget())
            pane->update();
    }
}

void DecodedTextContent::SlotPositionChanged()
{
    if (!editable)
        return;
    const QTextCursor cursor = textCursor();
    bool typing = cursor.atEnd();
    if (!typing) {
        // Closed transmissions are history: they can be read and copied, not changed.
        const DecodedTextLayoutItem* item = ItemOf(cursor.block());
        typing = item && item->block && !item->block->closed;
    }
    setTextInteractionFlags(typing ? Qt::TextEditorInteraction
                                   : Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

// ---------------------------------------------------------------------------
// Properties

void DecodedTextContent::SlotShowProperties()
{
    DecodedTextProperties dialog(this);
    dialog.SetForegroundColor(model->GetForegroundColor());
    dialog.SetBackgroundColor(model->GetBackgroundColor());
    dialog.SetMaxChars(model->GetBufferSize());
    dialog.SetQualityThreshold(model->GetQualityThreshold());
    dialog.SetInfoAreaEnabled(model->GetInfoAreaWidth() >= 1);

    if (dialog.exec() == QDialog::Accepted) {
        int width = 0;
        if (dialog.IsInfoAreaEnabled()) {
            width = model->GetInfoAreaWidth();
            // Switching the gutter back on starts from the default width.
            if (width == 0)
                width = 50;
        }
        model->SetProperties(dialog.GetMaxChars(), dialog.GetQualityThreshold(), width,
                             dialog.GetForegroundColor(), dialog.GetBackgroundColor());
    }
    RefreshContent();
}

// ---------------------------------------------------------------------------
// Mouse: shortcuts and moving a call sign

void DecodedTextContent::mousePressEvent(QMouseEvent* e)
{
    const int p = cursorForPosition(e->pos()).position();
    UpdateSelectionItem(p, p);
    dragItem = DecodedTextLayoutItem();
    live->MousePressed(e->button());
    QPlainTextEdit::mousePressEvent(e);
}

void DecodedTextContent::mouseMoveEvent(QMouseEvent* e)
{
    if ((e->buttons() & Qt::LeftButton) && (selectionItem.flags & 4) && !dragItem.block) {
        dragItem = selectionItem;
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setText(QString());
        drag->setMimeData(mime);
        drag->exec(Qt::MoveAction);
        // The drag took the button's release.
        live->MouseReleased(Qt::LeftButton);
        return;
    }
    QPlainTextEdit::mouseMoveEvent(e);
}

void DecodedTextContent::mouseReleaseEvent(QMouseEvent* e)
{
    dragItem = DecodedTextLayoutItem();
    live->MouseReleased(e->button());
    QPlainTextEdit::mouseReleaseEvent(e);
}

void DecodedTextContent::mouseDoubleClickEvent(QMouseEvent* e)
{
    const int p = cursorForPosition(e->pos()).position();
    const int f = UpdateSelectionItem(p, p);
    if (f & 8)
        EditTextDialog(tr("Insert Text"));
    else if (f & 4)
        EditCallSign();
    else if (f & 2)
        InsertComment();
    else
        SelectWordAt(e);
}

void DecodedTextContent::SelectWordAt(QMouseEvent* e)
{
    QPlainTextEdit::mouseDoubleClickEvent(e);
    QTextCursor cursor = textCursor();
    DecodedTextWords::JoinSlashes(cursor);
    setTextCursor(cursor);
}

void DecodedTextContent::dragEnterEvent(QDragEnterEvent* e)
{
    // Only a call sign of this text area can be moved here.
    if (e->source() == this)
        e->acceptProposedAction();
    else
        e->ignore();
}

void DecodedTextContent::dragMoveEvent(QDragMoveEvent* e)
{
    e->accept();
}

void DecodedTextContent::dragLeaveEvent(QDragLeaveEvent* e)
{
    e->accept();
}

void DecodedTextContent::dropEvent(QDropEvent* e)
{
    if (!dragItem.block) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();

    QTextCursor cursor = cursorForPosition(e->pos());
    cursor.movePosition(QTextCursor::StartOfWord);
    cursor.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
    DecodedTextWords::JoinSlashes(cursor);
    setTextCursor(cursor);

    ScopedFlag<int> guard(busy);
    if (UpdateSelectionItem(cursor.selectionStart(), cursor.selectionEnd()) == 0)
        return;
    const UserData* old
        = dragItem.block->FindUserData(UserData::CallSignType, dragItem.start, dragItem.end);
    if (!old)
        return;

    // The mark moves; who made it and when stays.
    auto* moved = new UserData(*old);
    moved->Start = selectionItem.start;
    moved->End = selectionItem.end;
    moved->Text = selectionItem.block->Text(selectionItem.start, selectionItem.end);
    const QString type = moved->Type;
    StoreUserData(dragItem.block, nullptr, type, dragItem.start, dragItem.end);
    StoreUserData(selectionItem.block, moved, type, selectionItem.start, selectionItem.end);

    dragItem = DecodedTextLayoutItem();
    cursor.clearSelection();
    setTextCursor(cursor);
    highlighter->RehighlightAll();
    document()->clearUndoRedoStacks();
}
