#include "widgetfixtures.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSettings>

namespace WidgetFixtures {

using namespace VarnoResultDataXml;

TimeStamp Stamp(int position, const QDateTime& time, int quality)
{
    return TimeStamp { time, position, quality };
}

UserData* Mark(const QString& type, int start, int end, const QString& value,
               const QString& replaced)
{
    auto* u = new UserData;
    u->Type = type;
    u->Start = start;
    u->End = end;
    // The value goes where an annotation of the type keeps its text.
    QString UserData::*field = type == UserData::CallSignType ? &UserData::CallSign
        : type == UserData::ChangeType                        ? &UserData::Text
                                                              : &UserData::Comment;
    u->*field = value;
    u->ReplacedText = replaced;
    u->Modifier = QStringLiteral("earlier");
    u->ChangeTime = QDateTime(QDate(2024, 3, 4), QTime(12, 0), Qt::UTC);
    return u;
}

QString BlockXml(int channel, const QDateTime& start, const QString& text,
                 const QVector<UserData*>& marks, QVector<TimeStamp> stamps, int id)
{
    Transmission transmission;
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    auto* block = new DataBlock(channel, 0, 0);
    block->SetID(id);
    block->SetContent(text);
    if (stamps.isEmpty())
        stamps.append(Stamp(0, start));
    block->GetTimeStamp() = stamps;
    for (UserData* mark : marks)
        block->AddUserData(mark);
    transmission.AddDataBlock(block);
    return transmission.GetXmlString();
}

void AddRun(DecodedTextBlock& block, const QString& text, const QDateTime& time, int quality,
            int width, int flags)
{
    DecodedTextSnippet s;
    s.length = text.size();
    s.start = block.EndPosition();
    s.end = s.start + (width < 0 ? text.size() : width);
    s.quality = quality;
    s.flags = flags;
    s.timestamp = time;
    block.snippets.append(s);
    block.text += text;
}

int Ink(const QImage& image, int top, int bottom, int left, int right)
{
    int count = 0;
    if (right < 0)
        right = image.width() - 1;
    for (int y = qMax(top, 0); y <= qMin(bottom, image.height() - 1); ++y)
        for (int x = left; x <= right; ++x)
            count += qGray(image.pixel(x, y)) < 120 ? 1 : 0;
    return count;
}

QStringList MenuTexts(const QMenu& menu)
{
    QStringList out;
    for (const QAction* action : menu.actions())
        out << (action->isSeparator() ? QStringLiteral("-")
                                      : action->text() + (action->isChecked() ? "*" : ""));
    return out;
}

QAction* FindAction(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

QPoint PointAt(QPlainTextEdit& edit, int position)
{
    QTextCursor cursor(edit.document());
    cursor.setPosition(position);
    const QRect r = edit.cursorRect(cursor);
    return QPoint(r.left() + 1, r.center().y());
}

void Select(QPlainTextEdit& edit, int from, int to)
{
    QTextCursor cursor(edit.document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
}

void Poll(const std::function<bool(bool expired)>& step, int ms)
{
    auto* timer = new QTimer(qApp);
    const QDeadlineTimer deadline(ms);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, step] {
        timer->stop(); // an answer may wait in an event loop of its own
        const bool expired = deadline.hasExpired();
        if (step(expired) || expired)
            timer->deleteLater();
        else
            timer->start();
    });
    timer->start(10);
}

void WhenPopup(const std::function<void(QMenu*)>& answer, bool* seen, int ms)
{
    Poll([answer, seen](bool) {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu) {
            *seen = true;
            answer(menu);
        }
        return menu != nullptr;
    }, ms);
}

QMap<QString, QString> StoredView(const QString& file)
{
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("DecodedTextView"));
    QMap<QString, QString> values;
    for (const char* key : { "BufferSize", "QualityThreshold", "InfoAreaWidth", "ForegroundColor",
                             "BackgroundColor" }) {
        const QString name = QString::fromLatin1(key);
        if (settings.contains(name))
            values.insert(name, settings.value(name).toString());
    }
    return values;
}

QMap<QString, QString> ViewValues(int bufferSize, int threshold, int width, const QString& fg,
                                  const QString& bg)
{
    return { { QStringLiteral("BufferSize"), QString::number(bufferSize) },
             { QStringLiteral("QualityThreshold"), QString::number(threshold) },
             { QStringLiteral("InfoAreaWidth"), QString::number(width) },
             { QStringLiteral("ForegroundColor"), fg },
             { QStringLiteral("BackgroundColor"), bg } };
}

QByteArray ReadAll(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& file, const QByteArray& data)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

} // namespace WidgetFixtures
