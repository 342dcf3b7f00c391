#pragma once

#include <QString>
#include <QStringList>

// What every table benchmark shares: its environment, its arguments, the process figures it
// reads and the table rows it prints.
namespace BenchSupport {

// Offscreen unless told otherwise, settings in a throw-away file, a user name for the channel
// marks. Call before the application object is made.
void PrepareEnvironment();

// The value after "--scale" (default 1): every benchmark multiplies its amounts by it.
double Scale(const QStringList& arguments);
// The value after name, or fallback.
QString Option(const QStringList& arguments, const QString& name, const QString& fallback);

// A field of /proc/self/status in kilobytes (VmHWM, VmRSS), or -1.
qint64 StatusKb(const char* field);
// CPU time of the whole process, user and system, in seconds.
double CpuSeconds();

QString Rate(double perSecond, const char* unit);
QString Megabytes(qint64 kilobytes);
QString Duration(double seconds);

// One line of the table ./bench prints:
// | case | measure | value | reference | ratio | target | verdict |
// ratio is printed with two decimals; met says whether it reaches target.
void Row(const QString& caseName, const QString& measure, const QString& value,
         const QString& reference, double ratio, const QString& target, bool met);
// A line for the notes under the table.
void Note(const QString& text);

} // namespace BenchSupport
