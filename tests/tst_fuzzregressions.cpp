// Inputs on which the fuzz targets (fuzz/) once found a fault, replayed as plain model
// operations. Each row is the operation sequence of one failing input, shortened to what still
// failed, so that the row keeps its meaning when the driver changes how it decodes its bytes.
#include "blockinvariants.h"
#include "decodedtextdata.h"

#include <QtTest>

namespace {

// One edit of the user channel's newest block, as the text area passes typing on.
struct Edit
{
    int index;
    int count;
    QString text;
};

using Edits = QVector<Edit>;

} // namespace

Q_DECLARE_METATYPE(Edits)

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void typingSequences_data();
    void typingSequences();
};

void TestFuzzRegressions::typingSequences_data()
{
    QTest::addColumn<Edits>("edits");
    QTest::addColumn<QString>("text");

    // Replacing " c" by ten characters: the run after the range may take one of them and the
    // run at the range one more, the rest goes to the later run in a second pass. That pass used
    // to leave the later run starting inside the one before it.
    QTest::newRow("typing over a run boundary more than the runs' limits allow")
        << Edits{{0, 0, QStringLiteral("ab cde f")}, {2, 2, QStringLiteral("XXXXXXXXXX")}}
        << QStringLiteral("abXXXXXXXXXXde f");
    QTest::newRow("the fuzzer's sequence: runs shaped by an earlier replacement")
        << Edits{{0, 0, QStringLiteral("a\rbc d")}, {0, 3, QStringLiteral(" efghi")},
                 {3, 2, QStringLiteral("0123456789")}}
        << QStringLiteral(" ef0123456789ic d");
}

void TestFuzzRegressions::typingSequences()
{
    QFETCH(Edits, edits);
    QFETCH(QString, text);

    DecodedTextData model;
    const auto buffer = model.GetChannelData(DecodedTextData::UserChannelID);
    const auto block = buffer->GetBlock(model.GetTickCount(), 1);
    for (int i = 0; i < edits.size(); ++i) {
        const Edit& edit = edits.at(i);
        QVERIFY(block->InsertTypedText(edit.index, edit.count, edit.text, &model) >= 0);
        const QString problem = BlockInvariants::Check(*block);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("after edit %1: %2").arg(i).arg(problem)));
    }
    QCOMPARE(block->text, text);
}

QTEST_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
