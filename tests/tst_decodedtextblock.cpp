#include "blockinvariants.h"
#include "modelfixtures.h"

#include <QtTest>

#include <climits>

using namespace Fixtures;

class TestDecodedTextBlock : public QObject {
    Q_OBJECT

private slots:
    void mappingMatchesThePlainExpansion();
    void clear();
    void adjustUserDataAfterChanges_data();
    void adjustUserDataAfterChanges();
    void applySeparators();
};

// Random chains of runs (some empty, some only line breaks, with and without quality) and of
// gaps appended as the intake does, asked about every character and every int extreme, against a
// plain expansion of the block into the position of each of its characters.
void TestDecodedTextBlock::mappingMatchesThePlainExpansion()
{
    struct Run { int start, end; QString text; bool gap; int quality; QDateTime time; };
    QRandomGenerator random(20260110);
    for (int round = 0; round < 300; ++round) {
        BlockPtr block(new DecodedTextBlock(1, 1, T0));
        QVector<Run> runs;
        QString text;
        const auto end = [&runs] { return runs.isEmpty() ? 0 : runs.last().end; };
        for (int k = random.bounded(9); k > 0; --k) {
            if (random.bounded(3)) {
                QString piece;
                // Not empty at the block's start: trimming would leave a line break that takes no position.
                for (int c = random.bounded(runs.isEmpty() ? 1 : 0, 5); c > 0; --c)
                    piece += QLatin1Char("ab\n"[random.bounded(3)]);
                const int quality = random.bounded(-3, 101);
                AddRun(*block, piece, quality, 1000 * k);
                runs.append({ end(), end() + int(piece.size()), piece, false, quality, T0.addSecs(k) });
                text += piece;
                continue;
            }
            // A gap only continues the chain, never ends before it starts; a trailing gap widens.
            const int from = random.bounded(5) ? end() : random.bounded(2) ? INT_MIN : end() + 1;
            const int to = random.bounded(5) ? end() + random.bounded(2, 12) : INT_MIN;
            const QString following = random.bounded(2) ? "x" : "x\n";
            bool appended = false;
            if (!runs.isEmpty() && runs.last().gap) {
                runs.last().end = to >= runs.last().start ? to : runs.last().end;
            } else if (from == end() && to >= from) {
                const bool emptyLine = !following.endsWith('\n') && !text.isEmpty() && !text.endsWith('\n');
                runs.append({ from, to, emptyLine ? "\n\n" : "\n", true, 0, runs.isEmpty() ? T0 : runs.last().time });
                text += runs.last().text;
                appended = true;
            }
            QCOMPARE(block->AppendGap(from, to, following), appended);
        }
        // Trimmed: the runs up to the position of the excess index go, a gap at the block's time
        // fills the space from 0, and so do the annotations that end before that position.
        const int excess = random.bounded(4) ? random.bounded(-1, text.size() + 2)
                                             : random.bounded(2) ? INT_MIN : INT_MAX;
        int cut = excess > 0 ? end() : 0;
        for (int k = 0, left = excess; cut == end() && k < runs.size(); left -= runs.at(k++).text.size())
            cut = runs.at(k).text.size() > left ? runs.at(k).start + left : cut;
        QStringList kept;
        for (int k = 0; round % 2 && k < 3; ++k) {
            const int start = random.bounded(end() + 1), stop = start + random.bounded(4);
            block->userData << Note(UserData::CommentType, start, stop);
            if (stop >= cut)
                kept << QStringLiteral("%1-%2").arg(start).arg(stop);
        }
        int removed = 0;
        while (round % 2 && !runs.isEmpty() && runs.first().end <= cut)
            removed += runs.takeFirst().text.size();
        if (round % 2)
            QCOMPARE(block->TrimFront(excess), removed);
        text = QString(removed > 0 && !runs.isEmpty() ? "\n" : "") + text.mid(removed);
        if (removed > 0 && !runs.isEmpty())
            runs.prepend({ 0, runs.first().start, "\n", true, 0, T0 });
        QCOMPARE(Ranges(*block), kept.join(' '));
        QVERIFY_BLOCK(*block);
        QVector<int> position, firstIndex;
        for (const Run& r : qAsConst(runs)) {
            firstIndex << position.size();
            for (int c = 0; c < r.text.size(); ++c)
                position << r.start + c;
        }
        const auto textIndex = [&](int p) { return p <= 0 ? 0 : p >= end() ? text.size() : position.indexOf(p); };
        const auto positionOf = [&](qint64 i) { return i <= 0 ? 0 : i >= text.size() ? end() : position.at(i); };
        const auto snippetAt = [&](int p, int from) {
            for (int s = qMax(from, 0); s < runs.size(); ++s) {
                if (runs.at(s).start <= p && p < runs.at(s).end)
                    return s;
            }
            return -1;
        };
        const auto span = [&](int s, int p, int count) {
            if (s < 0 || snippetAt(p, s) != s || count < 0)
                return 0;
            const Run& r = runs.at(s);
            if (r.gap)
                return r.text.size() < 2 ? r.end - r.start : p == r.start ? 1 : r.end - r.start - 1;
            return positionOf(qint64(textIndex(p)) + count) - p;
        };
        // One line per question, the block's answer and the plain one built in step.
        QStringList got, expected;
        const auto ask = [&](const QString& question, const QVariant& answer, const QVariant& plain) {
            got << question + ' ' + answer.toString();
            expected << question + ' ' + plain.toString();
        };
        bool anyQuality = false;
        for (int s = 0; s < runs.size(); ++s) {
            anyQuality = anyQuality || runs.at(s).quality >= 0;
            const int c = runs.at(s).text.indexOf(QRegularExpression("[^\n]"));
            const DecodedTextSnippet copy = block->snippets.at(s); // found by its start, not its address
            ask(QStringLiteral("visible %1").arg(s),
                QStringLiteral("%1 %2").arg(block->FirstVisiblePosition(block->snippets.at(s)))
                    .arg(block->FirstVisiblePosition(copy)),
                QStringLiteral("%1 %1").arg(c < 0 ? -1 : runs.at(s).start + c));
        }
        ask("quality", block->HasQuality(), anyQuality);
        ask("last", block->LastTimestamp(), runs.isEmpty() ? QDateTime() : runs.last().time);
        ask("no snippet visible", block->FirstVisiblePosition(DecodedTextSnippet()), -1);
        QVector<int> snippetsAsked { INT_MIN, -1, INT_MAX }, indices { INT_MIN, -1, INT_MAX };
        QVector<int> everywhere { INT_MIN, -1, end() + 1, INT_MAX };
        for (int s = 0; s <= runs.size(); ++s)
            snippetsAsked << s;
        for (int i = 0; i <= text.size(); ++i)
            indices << i;
        for (int p = 0; p <= end(); ++p)
            everywhere << p;
        for (int s : snippetsAsked) {
            const bool in = s >= 0 && s < runs.size();
            ask(QStringLiteral("snippet text %1").arg(s), block->SnippetText(s), in ? runs.at(s).text : "");
            ask(QStringLiteral("text from snippet %1").arg(s), block->TextFromSnippet(s),
                in ? text.mid(firstIndex.at(s)) : "");
            ask(QStringLiteral("snippet time %1").arg(s), block->SnippetTime(s), in ? runs.at(s).time : QDateTime());
        }
        for (int i : indices)
            ask(QStringLiteral("position of index %1").arg(i), block->PositionOfIndex(i), positionOf(i));
        for (int p : everywhere) {
            for (int from : snippetsAsked) {
                const int s = snippetAt(p, from);
                const QString at = QStringLiteral(" %1 from %2").arg(p).arg(from);
                ask("snippet at" + at, block->IndexOfPosition(p, from), s);
                ask("time at" + at, block->TimeAt(p, from),
                    runs.isEmpty() ? QDateTime() : runs.at(s < 0 ? runs.size() - 1 : s).time);
            }
            for (int s : { snippetAt(p, 0), snippetsAsked.at(random.bounded(snippetsAsked.size())) }) {
                for (int count : { INT_MIN, -1, 0, 1, 2, 3, int(text.size()), INT_MAX })
                    ask(QStringLiteral("span %1 %2 %3").arg(s).arg(p).arg(count), block->PositionSpan(s, p, count),
                        span(s, p, count));
            }
            // Inside a wide gap, past its line breaks, the text index is not pinned down.
            const int q = everywhere.at(random.bounded(everywhere.size()));
            const qint64 count = qint64(q) - p;
            if (textIndex(p) < 0)
                continue;
            ask(QStringLiteral("text index %1").arg(p), block->TextIndex(p), textIndex(p));
            ask(QStringLiteral("text %1 %2").arg(p).arg(q), block->Text(p, q),
                count <= 0 ? QString() : text.mid(textIndex(p), int(qMin<qint64>(count, INT_MAX))));
        }
        for (int k = 0; got != expected && k < got.size(); ++k)
            QCOMPARE(Layout(*block) + ' ' + got.at(k), Layout(*block) + ' ' + expected.at(k));
    }
}

void TestDecodedTextBlock::clear()
{
    // Whether Clear frees the annotations is left to the leak check of the sanitizer build.
    const BlockPtr mixed = MakeBlock({ "abc", "de" });
    AddGap(*mixed, 7, QStringLiteral("\n\n"));
    mixed->userData << Note(UserData::CommentType, 0, 1);
    mixed->streamPosition = 40;
    QCOMPARE(mixed->Clear(), 7);
    QVERIFY(mixed->text.isEmpty() && mixed->snippets.isEmpty() && mixed->userData.isEmpty() && !mixed->streamPosition);
}

// The walk skips the annotations it knows to lie before an edit; whatever was inserted, removed
// or re-allocated in between, the outcome must be the plain rules applied to every annotation.
void TestDecodedTextBlock::adjustUserDataAfterChanges_data()
{
    QTest::addColumn<bool>("spanning");
    QTest::addColumn<bool>("appended");
    QTest::addColumn<bool>("separators");
    QTest::newRow("one-position marks in order of Start, as the merge sets them")
        << false << false << false;
    QTest::newRow("long comments reach over later edits") << true << false << false;
    QTest::newRow("imported annotations appended out of order") << true << true << false;
    QTest::newRow("separators move annotations in place") << true << false << true;
}

void TestDecodedTextBlock::adjustUserDataAfterChanges()
{
    QFETCH(bool, spanning);
    QFETCH(bool, appended);
    QFETCH(bool, separators);
    const BlockPtr block = MakeBlock({ QString(400, QLatin1Char('x')) });
    QRandomGenerator random(20261206);
    int blockEnd = block->EndPosition();
    const auto addAnnotation = [&]() {
        const int start = random.bounded(blockEnd - 1);
        const int length = spanning && random.bounded(4) == 0 ? random.bounded(1, 120) : 1;
        UserData* annotation = Note(UserData::CallSignType, start, qMin(start + length, blockEnd));
        int at = block->userData.size();
        if (!appended || random.bounded(3) != 0) {
            while (at > 0 && block->userData.at(at - 1)->Start > start)
                --at;
        }
        block->userData.insert(at, annotation);
    };
    for (int k = 0; k < 60; ++k)
        addAnnotation();

    for (int step = 0; step < 3000; ++step) {
        switch (random.bounded(6)) {
        case 0:
            addAnnotation();
            break;
        case 1: {
            // A freed annotation's address is the likeliest one for the next.
            if (block->userData.isEmpty())
                break;
            const int start = block->userData.at(random.bounded(block->userData.size()))->Start;
            block->RemoveUserDataStartingIn(start, start);
            addAnnotation();
            break;
        }
        case 2:
            if (separators) {
                block->snippets.last().flags |= SnippetSeparatorWanted;
                block->ApplySeparators(0, QStringLiteral("| "), random.bounded(2) == 0);
                blockEnd = block->EndPosition();
            }
            break;
        default: {
            // Mostly near the end, where the merge inserts; now and then at the ends of the int
            // range, where sums must not wrap. to below from as well: taking a change back that
            // had made its range longer.
            const int pick = random.bounded(40);
            const int from = pick == 0 ? INT_MIN : random.bounded(4) == 0 ? random.bounded(blockEnd)
                                                                          : blockEnd - random.bounded(1, 40);
            const int to = pick == 0 ? INT_MAX : from + random.bounded(-2, 3);
            const int delta = pick == 1 ? INT_MAX : pick == 2 ? INT_MIN : random.bounded(-3, 4);
            const auto seen = [](const UserData* u, qint64 start, qint64 end) {
                return QStringLiteral("%1:%2-%3").arg(quintptr(u)).arg(start).arg(end);
            };
            QStringList expected, got;
            for (const UserData* annotation : qAsConst(block->userData)) {
                qint64 start = annotation->Start;
                qint64 end = annotation->End;
                if (start < from && from < end)
                    end = qMax(end + delta, start + 1);
                else if (start < to ? from < start : !(from == to && start == to && end == qint64(from) + delta)) {
                    start += delta;
                    end += delta;
                }
                if (start >= 0 && end <= blockEnd)
                    expected << seen(annotation, start, end);
            }
            block->AdjustUserData(from, to, delta);
            for (const UserData* annotation : qAsConst(block->userData))
                got << seen(annotation, annotation->Start, annotation->End);
            const QString at =
                QStringLiteral("seed 20261206 step %1, %2 %3 %4: ").arg(step).arg(from).arg(to).arg(delta);
            QCOMPARE(at + got.join(' '), at + expected.join(' '));
        }
        }
    }
}

void TestDecodedTextBlock::applySeparators()
{
    const BlockPtr block = MakeBlock({ "ab", "cd", "ef" });
    block->snippets[1].flags = block->snippets[2].flags = SnippetSeparatorWanted;
    block->userData << Note(UserData::CommentType, 0, 1) << Note(UserData::CommentType, 2, 3)
                    << Note(UserData::CommentType, 4, 5);
    for (int from : { INT_MIN, -1, 3, INT_MAX })
        QVERIFY(!block->ApplySeparators(from, QStringLiteral("--"), true));
    // From a later snippet only the runs from there on are touched.
    QVERIFY(block->ApplySeparators(2, QStringLiteral("--"), true));
    QCOMPARE(block->text, QStringLiteral("abcd--ef"));
    QVERIFY(block->ApplySeparators(0, QStringLiteral("--"), true));
    QVERIFY(!block->ApplySeparators(0, QStringLiteral("--"), true));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("ab--cd--ef"));
    QCOMPARE(block->snippets.at(1).flags, SnippetSeparatorWanted | SnippetSeparatorInserted);
    QCOMPARE(Layout(*block), QStringLiteral("0-2:2q90 2-6:4q90 6-10:4q90"));
    QCOMPARE(Ranges(*block), QStringLiteral("0-1 4-5 8-9")); // still on "a", "c" and "e"
    // A mark on the separator itself stays where the run starts when the separator goes.
    block->userData << Note(UserData::CommentType, 2, 3);
    // A run that no longer wants its separator loses it even when inserting.
    block->snippets[2].flags &= ~SnippetSeparatorWanted;
    QVERIFY(block->ApplySeparators(0, QStringLiteral("--"), true));
    QCOMPARE(block->text, QStringLiteral("ab--cdef"));
    QVERIFY(block->ApplySeparators(0, QStringLiteral("--"), false));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("abcdef"));
    QCOMPARE(Ranges(*block), QStringLiteral("0-1 2-3 4-5 2-3"));
    QCOMPARE(block->snippets.at(1).flags, SnippetSeparatorWanted);

    // Text that is not the separator is left where a separator is flagged.
    block->snippets[1].flags |= SnippetSeparatorInserted;
    QVERIFY(!block->ApplySeparators(0, QStringLiteral("--"), false));
    QCOMPARE(block->text, QStringLiteral("abcdef"));
    QCOMPARE(block->snippets.at(1).flags, SnippetSeparatorWanted);
}

QTEST_GUILESS_MAIN(TestDecodedTextBlock)
#include "tst_decodedtextblock.moc"
