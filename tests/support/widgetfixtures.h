#pragma once

#include "decodedtextblock.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDialog>
#include <QImage>
#include <QMap>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVector>

#include <functional>

class QAction;
class QMenu;
class QPlainTextEdit;

// What the widget tests build again and again: one-block transmissions, annotations, answers
// to modal dialogs and popup menus, cursor places and the settings file's view group.
namespace WidgetFixtures {

using VarnoResultDataXml::TimeStamp;
using VarnoResultDataXml::UserData;

TimeStamp Stamp(int position, const QDateTime& time, int quality = 90);

// An annotation of the given type; value goes to the call sign, the new text or the comment.
UserData* Mark(const QString& type, int start, int end, const QString& value,
               const QString& replaced = QString());

// One transmission of one block as the intake takes it; without stamps the text carries one
// run at its start, stamped with the start time.
QString BlockXml(int channel, const QDateTime& start, const QString& text,
                 const QVector<UserData*>& marks = {}, QVector<TimeStamp> stamps = {}, int id = 1);

// Appends one run the way the intake lays them down: chained positions; width -1 is the length.
void AddRun(DecodedTextBlock& block, const QString& text, const QDateTime& time, int quality = -1,
            int width = -1, int flags = 0);
// Dark pixels of an image between two rows, both included, and two columns (right -1: last).
int Ink(const QImage& image, int top, int bottom, int left = 0, int right = -1);

// Menu entries top to bottom, "-" for a separator, checked ones ending in "*".
QStringList MenuTexts(const QMenu& menu);
QAction* FindAction(const QMenu& menu, const QString& text);

// A point inside the character at a document position, in viewport coordinates.
QPoint PointAt(QPlainTextEdit& edit, int position);
// Selects from..to; from == to leaves the cursor there without a selection.
void Select(QPlainTextEdit& edit, int from, int to);

// The values as text, joined by commas: one comparison instead of one per value.
template<typename... T> QString Joined(const T&... values)
{
    return QStringList { QVariant(values).toString()... }.join(QLatin1Char(','));
}

// Calls step every 10 ms until it returns true; at the deadline once more, told so, and no more.
// The timer belongs to the application, so one that outlives its test is still freed.
void Poll(const std::function<bool(bool expired)>& step, int ms);

// Answers the next modal dialog of type T once it is up. Any other modal window still up at
// the deadline is rejected, so a wrong dialog fails the test instead of hanging it.
template<typename T> void WhenModal(std::function<void(T*)> answer, int ms = 5000)
{
    Poll([answer](bool expired) {
        QWidget* modal = QApplication::activeModalWidget();
        T* dialog = qobject_cast<T*>(modal);
        if (dialog && dialog->isVisible())
            return answer(dialog), true;
        if (auto* other = qobject_cast<QDialog*>(modal); other && expired)
            other->reject();
        return false;
    }, ms);
}

// Hands the next popup menu to answer, which must close it; sets *seen when one came up.
void WhenPopup(const std::function<void(QMenu*)>& answer, bool* seen, int ms = 3000);

// The view's settings group of an INI file, as strings; absent keys are left out.
QMap<QString, QString> StoredView(const QString& file);
QMap<QString, QString> ViewValues(int bufferSize, int threshold, int width, const QString& fg,
                                  const QString& bg);
QByteArray ReadAll(const QString& file);
bool WriteAll(const QString& file, const QByteArray& data);

} // namespace WidgetFixtures
