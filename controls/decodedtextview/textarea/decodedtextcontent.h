#pragma once

#include "decodedtextlayoutitem.h"
#include "dtv_export.h"

#include <QExplicitlySharedDataPointer>
#include <QPlainTextEdit>
#include <QString>
#include <QColor>
#include <QTextCharFormat>
#include <QVector>

#include <memory>

class DecodedTextBlock;
class DecodedTextData;
class DecodedTextHighlighter;
class DecodedTextInfoArea;
class DecodedTextLastLineCache;
class DecodedTextLiveFollow;
class DecodedTextShownBlocks;
class DecodedTextSignRows;
class DecodedTextTimeArea;
class QMenu;
class QPainter;
class QPoint;
class QRect;
namespace VarnoResultDataXml {
class UserData;
}

// The text area of one channel pane: shows the channel's blocks as a document,
// one layout item per line, with the time and call-sign gutters on its left.
class DTV_EXPORT DecodedTextContent : public QPlainTextEdit
{
    Q_OBJECT

public:
    DecodedTextContent(int channel, bool editable, DecodedTextData* model, QWidget* parent);
    ~DecodedTextContent() override;

    virtual void AddActions(QMenu* menu, const QPoint& point);

    void SetInfoAreaWidth(int width);
    void PaintTimeArea(QPainter* painter, const QRect& rect);
    void PaintInfoArea(QPainter* painter, const QRect& rect);
    DecodedTextLayoutItem ItemAtPoint(const QPoint& point);
    DecodedTextLayoutItem ItemAtPosition(int position);
    void SelectItem(const DecodedTextLayoutItem& item);
    void SetChannelHold(bool hold);
    int DocumentPosition(QExplicitlySharedDataPointer<DecodedTextBlock> block, int position);
    bool SelectCallSign(const QString& callSign, bool selectionOnly);
    int UpdateSelectionItem(int from, int to);
    int FlagsAtPoint(const QPoint& point);

    // What the channel pane calls for the model's DataChanged with refresh set and for
    // TransmissionChanged: the same document, formats, cursor and scroll position as
    // RefreshContent() and UpdateView(), but touching only the lines that can have changed
    // when the intake merely trimmed old text, added new text or closed the newest block.
    void RefreshAfterIntake();
    void UpdateViewAfterIntake();

signals:
    void OnModification(bool modified);

public slots:
    void UpdateContent();
    void RefreshContent();
    void ShowContextMenu(const QPoint& pt);
    void UpdateColors();
    void SlotClearAll();
    void EditCallSign();
    void DeleteCallSign();
    void UpdateView();
    void SlotScrollBottom();

private slots:
    void UpdateView(QRect rect, int dy);
    void SlotTextChanged(int position, int charsRemoved, int charsAdded);
    void SlotPositionChanged();
    void SlotShowProperties();
    void SlotColorCoding(bool selected);
    void SlotTooltipTime(bool selected);
    void InsertComment();
    void InsertText();
    void EditSelection();
    void DeleteComment();
    void DeleteSelection();
    void DeleteSection();

protected:
    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    Q_DISABLE_COPY(DecodedTextContent)

    void AppendBlock(QExplicitlySharedDataPointer<DecodedTextBlock> block);
    void PlaceAtEnd(const QTextCursor& cursor);
    bool RefreshFrontTrimmed();
    bool RefreshFrontCut(bool thenRewritten = false);
    bool RefreshRewritten();
    void Rebuild(bool restore, int a, int b);
    bool SelectionToKeep(int& a, int& b) const;
    bool SelectionForRebuild(int& a, int& b);
    void AppendAsRebuild(const QList<QExplicitlySharedDataPointer<DecodedTextBlock>>& blocks,
                         int from);
    void FinishRefresh(bool restore, int a, int b);
    void RehighlightStale(bool changedOnly = false);
    void NoteNewest();
    void UpdateMargins();
    void UpdateOpaqueViewport();
    void RepaintContents(const QRectF& viewPart, const QRectF& whole);
    void ShowToolTip(QHelpEvent* e);

    // Operator side: annotations, dialogs and typing.
    void MarkCallSign(const QString& callSign);
    QVector<VarnoResultDataXml::UserData*> UserDataInSelection(const QString& type) const;
    void SelectionTexts(QString& shownText, QString& decodedText, QString& comments);
    void EditTextDialog(const QString& title);
    void ApplyChange(const QString& newText, const QString& decodedText, const QString& comment);
    void RemoveUserData(const QString& type);
    bool StoreUserData(QExplicitlySharedDataPointer<DecodedTextBlock> block,
                       VarnoResultDataXml::UserData* userData, const QString& type, int from,
                       int to);
    void AfterUserEdit(QExplicitlySharedDataPointer<DecodedTextBlock> block, int r,
                       int documentPosition);
    void SelectWordAt(QMouseEvent* e);

    int busy;
    int channel;
    DecodedTextData* model;
    DecodedTextTimeArea* timeArea;
    DecodedTextInfoArea* infoArea;
    DecodedTextHighlighter* highlighter;
    DecodedTextLayoutItem selectionItem;
    DecodedTextLayoutItem dragItem;
    QTextCharFormat normalFormat;
    QTextCharFormat lowQualityFormat;
    bool colorCoding;
    bool tooltipWithTime;
    bool rightToLeft;
    bool editable;
    bool layoutGuard;
    bool dialogOpen;
    QColor opaqueBackground; // painted by the viewport itself, which is then opaque
    int scrollsSincePaint = 0;
    bool highlightLater = false; // a whole-document rehighlight follows the appends
    bool placeLater = false;     // an append left placing the cursor to the rebuild
    DecodedTextLiveFollow* live = nullptr;
    std::unique_ptr<DecodedTextShownBlocks> shown;
    std::unique_ptr<DecodedTextSignRows> signRows;
    std::unique_ptr<DecodedTextLastLineCache> lastLine;
};
