// Inputs on which the fuzz targets (fuzz/) once found a fault, replayed as plain model
// operations. Each row is the operation sequence of one failing input, shortened to what still
// failed, so that the row keeps its meaning when the driver changes how it decodes its bytes.
#include "blockinvariants.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QtTest>


namespace {

struct Step
{
    enum Kind { Type };
    Kind kind = Type;
    int index = 0;
    int count = 0;
    QString text;
};

using Steps = QVector<Step>;

// Typing into the newest block of the user channel, as the text area passes it on.
Step Type(int index, int count, const QString& text)
{
    Step s;
    s.kind = Step::Type;
    s.index = index;
    s.count = count;
    s.text = text;
    return s;
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void modelSequences_data();
    void modelSequences();
};

void TestFuzzRegressions::initTestCase()
{
    qputenv("VX_USER", "regression");
}

void TestFuzzRegressions::modelSequences_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("text");

    // Replacing " c" by ten characters: the run after the range may take one of them and the
    // run at the range one more, the rest goes to the later run in a second pass. That pass used
    // to leave the later run starting inside the one before it.
    QTest::newRow("typing over a run boundary more than the runs' limits allow")
        << Steps{Type(0, 0, QStringLiteral("ab cde f")), Type(2, 2, QStringLiteral("XXXXXXXXXX"))}
        << DecodedTextData::UserChannelID << QStringLiteral("abXXXXXXXXXXde f");
    QTest::newRow("the fuzzer's sequence: runs shaped by an earlier replacement")
        << Steps{Type(0, 0, QStringLiteral("a\rbc d")), Type(0, 3, QStringLiteral(" efghi")),
                 Type(3, 2, QStringLiteral("0123456789"))}
        << DecodedTextData::UserChannelID << QStringLiteral(" ef0123456789ic d");
}

void TestFuzzRegressions::modelSequences()
{
    QFETCH(Steps, steps);
    QFETCH(int, channel);
    QFETCH(QString, text);

    DecodedTextData model;
    QVector<int> channels;
    connect(&model, &DecodedTextData::ChannelCreated, [&channels](int c) { channels.append(c); });
    for (int i = 0; i < steps.size(); ++i) {
        const Step& step = steps.at(i);
        switch (step.kind) {
        case Step::Type: {
            const auto buffer = model.GetChannelData(DecodedTextData::UserChannelID);
            auto block = buffer->LastBlock();
            if (!block)
                block = buffer->GetBlock(model.GetTickCount(), 1);
            block->InsertTypedText(step.index, step.count, step.text, &model);
            break;
        }
        }
        for (int c : qAsConst(channels)) {
            const QString problem = BlockInvariants::Check(*model.GetChannelData(c));
            QVERIFY2(problem.isEmpty(),
                     qPrintable(QStringLiteral("after step %1, channel %2: %3").arg(i).arg(c).arg(problem)));
        }
    }
    QVERIFY(model.ChannelExists(channel));
    QCOMPARE(model.GetChannelData(channel)->LastBlock()->text, text);
}

QTEST_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
