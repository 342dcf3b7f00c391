#pragma once

#include <QExplicitlySharedDataPointer>
#include <QObject>
#include <QPointer>
#include <QTextCursor>

class DecodedTextBlock;
class DecodedTextChannel;
class DecodedTextContent;
class DecodedTextFinder;
class QLabel;
class QTimer;

// What find and watch add to one pane: the highlights of the text area, drawn as extra
// selections over the lines in and around the view so that the text's own formats stay as
// they are, and two markers in the caption, the matches of a closed pane and the watch hits
// since the operator last opened or focused it. Everything is redone once per pass of the
// event loop after the text, the scroll position or the search changed.
class DecodedTextPaneMarks : public QObject
{
    Q_OBJECT

public:
    DecodedTextPaneMarks(DecodedTextChannel* pane, DecodedTextFinder* finder);

    static DecodedTextPaneMarks* Of(DecodedTextChannel* pane);

    void Schedule();
    // Matches to show in the caption; 0 hides the marker.
    void ShowFound(int count);
    void AddHit();
    void ResetHits();
    int Hits() const { return hits; }
    // The finder's current match moved into this pane (selected and shown) or out of it.
    void CurrentChanged(bool here);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void Update();
    void PaneToggled();
    void DocumentChanged(int position, int removed, int added);
    void Scrolled();

private:
    DecodedTextContent* Content();
    void Highlight(DecodedTextContent* content);
    void RevisitChanged(DecodedTextContent* content);
    bool PlaceCurrent(DecodedTextContent* content);
    QLabel* Marker(QPointer<QLabel>& label, const char* name, const QString& style);

    DecodedTextChannel* pane;
    DecodedTextFinder* finder;
    QPointer<DecodedTextContent> content;
    QTimer* timer;
    QPointer<QLabel> foundLabel;
    QPointer<QLabel> hitLabel;
    int found = 0;
    int hits = 0;
    bool captionDirty = false;
    QTextCursor current; // the finder's current match, while it is in this pane
    // The part of the document that changed since the last update, for the finder.
    int dirtyFrom = -1;
    int dirtyTo = -1;
};
