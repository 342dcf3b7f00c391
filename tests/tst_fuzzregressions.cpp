// Inputs on which the fuzz targets (fuzz/) once found a fault, replayed as plain model
// operations. Each row is the operation sequence of one failing input, shortened to what still
// failed, so that the row keeps its meaning when the driver changes how it decodes its bytes.
#include "blockinvariants.h"
#include "decodedtextdata.h"

#include <QtTest>

// Edits of the user channel's newest block as the text area passes typing on: index, count of
// characters replaced, new text.
using Edits = QVector<std::tuple<int, int, QString>>;
Q_DECLARE_METATYPE(Edits)

class TestFuzzRegressions : public QObject {
    Q_OBJECT

private slots:
    void typingSequences_data()
    {
        QTest::addColumn<Edits>("edits");
        QTest::addColumn<QString>("text");
        // Replacing " c" by ten characters: the run after the range may take one of them and
        // the run at the range one more, the rest goes to the later run in a second pass. That
        // pass used to leave the later run starting inside the one before it.
        QTest::newRow("typing over a run boundary more than the runs' limits allow")
            << Edits { { 0, 0, "ab cde f" }, { 2, 2, "XXXXXXXXXX" } } << QStringLiteral("abXXXXXXXXXXde f");
        QTest::newRow("the fuzzer's sequence: runs shaped by an earlier replacement")
            << Edits { { 0, 0, "a\rbc d" }, { 0, 3, " efghi" }, { 3, 2, "0123456789" } }
            << QStringLiteral(" ef0123456789ic d");
    }

    void typingSequences()
    {
        QFETCH(Edits, edits);
        DecodedTextData model;
        const auto block = model.GetChannelData(DecodedTextData::UserChannelID)->GetBlock(model.GetTickCount(), 1);
        for (const auto& [index, count, typed] : qAsConst(edits)) {
            QVERIFY(block->InsertTypedText(index, count, typed, &model) >= 0);
            QVERIFY_BLOCK(*block);
        }
        QTEST(block->text, "text");
    }
};

QTEST_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
