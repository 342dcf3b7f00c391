#pragma once

#include <QChar>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <climits>
#include <cstddef>
#include <cstdint>

// Turns the fuzzer's bytes into the values a driver needs. Every value is taken from the front of
// the input, so that small mutations of the bytes make small changes to the run; an exhausted
// input answers zeros, which keeps every run finite.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Exhausted() const { return m_offset >= m_size; }

    uint8_t Byte() { return m_offset < m_size ? m_data[m_offset++] : 0; }

    quint16 Word() { return quint16(Byte() | (Byte() << 8)); }

    quint32 Long() { return quint32(Word()) | (quint32(Word()) << 16); }

    bool Bool() { return Byte() & 1; }

    // A value in [low, high]; both ends included.
    int Range(int low, int high)
    {
        if (high <= low)
            return low;
        const quint64 span = quint64(qint64(high) - low) + 1;
        const quint64 raw = span <= 256 ? Byte() : span <= 65536 ? Word() : Long();
        return int(qint64(low) + qint64(raw % span));
    }

    // Numbers that break code which assumes small, positive, sensible values.
    int Number()
    {
        static const int edges[] = {0,         1,          -1,         2,          3,
                                    7,         10,         999,        1000,       1001,
                                    4096,      4097,       65535,      65536,      99999999,
                                    100000000, 100000001,  -100000000, -100000001, INT_MAX,
                                    INT_MIN,   INT_MAX - 1, INT_MIN + 1, INT_MAX / 2, -2};
        const uint8_t mode = Byte() % 4;
        if (mode == 0)
            return edges[Byte() % (sizeof(edges) / sizeof(edges[0]))];
        if (mode == 1)
            return int(Long());
        return int(Byte()) - 16;
    }

    // A channel number: mostly a handful of ordinary ones, sometimes the special and the absurd.
    int Channel()
    {
        static const int channels[] = {1, 2, 3, 4, 5, 0, 1000, 1, 2, 3};
        const uint8_t mode = Byte() % 8;
        if (mode < 6)
            return channels[Byte() % (sizeof(channels) / sizeof(channels[0]))];
        return Number();
    }

    // Characters that decoders, operators and broken links produce: letters, spaces and line
    // breaks, control characters, characters XML cannot carry, broken and whole surrogate pairs,
    // combining marks that normalisation folds, right-to-left letters and markup.
    QChar Character()
    {
        static const ushort pool[] = {
            'a', 'b', 'C', 'D', 'e', '1', '0', ' ',   ' ',   '\n', '\n', '\r', '\t', '?', '<', '&',
            '>', ']', '"', 0x0000, 0x0001, 0x001B, 0x007F, 0x0085, 0x00A0, 0x00E9, 0x0301, 0x05D0,
            0x2029, 0x2028, 0xD800, 0xDC00, 0xFEFF, 0xFFFE, 0xFFFF, 0x3000, 0x200B, 0x0627};
        const uint8_t b = Byte();
        if (b < 200)
            return QChar(pool[b % (sizeof(pool) / sizeof(pool[0]))]);
        return QChar(ushort(Word()));
    }

    QString Text(int maxLength)
    {
        const uint8_t mode = Byte();
        if (mode >= 252) {
            // A long run of one character: enough to cross the trimming limit of the smallest
            // buffer (1100 characters) and of the default one (11000) in one piece.
            const int length = Range(0, 12000);
            return QString(length, Character());
        }
        const int length = Range(0, maxLength);
        QString text;
        text.reserve(length);
        for (int i = 0; i < length; ++i) {
            const QChar c = Character();
            // A surrogate pair now and then, so that whole pairs are seen as well as halves.
            if (c == QChar(0xD800) && Bool()) {
                text.append(QChar(0xD83D));
                text.append(QChar(0xDE00));
                continue;
            }
            text.append(c);
        }
        return text;
    }

    // Mostly close to one base time so that equal and ordered times are common; sometimes
    // invalid, before the epoch, at the ends of the calendar or beyond what the format carries.
    QDateTime Time()
    {
        static const QDateTime base(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
        const uint8_t mode = Byte() % 16;
        switch (mode) {
        case 0:
            return QDateTime();
        case 1:
            return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
        case 2:
            return QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC);
        case 3:
            return QDateTime(QDate(-4000, 3, 1), QTime(12, 0), Qt::UTC);
        case 4:
            return QDateTime(QDate(150000, 1, 1), QTime(0, 0), Qt::UTC);
        case 5:
            return QDateTime::fromMSecsSinceEpoch(qint64(int(Long())) * 1000, Qt::UTC);
        case 6:
            return base.addMSecs(qint64(Word()) - 30000);
        default:
            return base.addSecs(Byte() % 32);
        }
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
};
