#include "colors.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextproperties.h"
#include "widgetfixtures.h"

#include <QMenu>
#include <QtTest>

#include <optional>

namespace {

// Empties the colour registry for one test and gives the suite's back afterwards.
class EmptyRegistry {
public:
    EmptyRegistry() : saved(Set()->GetColorDefitions()) { Set()->SetColorDefinitions({}); }
    ~EmptyRegistry() { Set()->SetColorDefinitions(saved); }

private:
    static ColorDefinitionSet* Set() { return Colors::Instance().GetColors(); }
    QVector<ColorDefinition> saved;
};

// Opens the properties from the text area's context menu, answers the dialog and returns what
// it showed: "foreground,background,max chars,quality,info area".
QString RunFromMenu(DecodedTextContent& content, std::function<void(DecodedTextProperties*)> answer)
{
    QString shown;
    WidgetFixtures::WhenModal<DecodedTextProperties>([&shown, answer](DecodedTextProperties* d) {
        shown = QStringLiteral("%1,%2,%3,%4,%5")
                    .arg(d->GetForegroundColor(), d->GetBackgroundColor())
                    .arg(d->GetMaxChars())
                    .arg(d->GetQualityThreshold())
                    .arg(d->IsInfoAreaEnabled());
        answer(d);
    });
    QMenu menu;
    content.AddActions(&menu, QPoint(1, 1));
    WidgetFixtures::FindAction(menu, QStringLiteral("Properties"))->trigger();
    return shown;
}

} // namespace

class TestDecodedTextProperties : public QObject {
    Q_OBJECT

private slots:
    void noInterfaceOfItsOwn();
    void mappingToModel_data();
    void mappingToModel();
};

void TestDecodedTextProperties::noInterfaceOfItsOwn()
{
    const QMetaObject& meta = DecodedTextProperties::staticMetaObject;
    QCOMPARE(meta.superClass(), &QDialog::staticMetaObject);
    QCOMPARE(meta.methodCount(), meta.methodOffset());
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
}

void TestDecodedTextProperties::mappingToModel_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("foreground");
    QTest::addColumn<bool>("check");
    QTest::addColumn<QString>("answer"); // "accept", "reject" or "accept, registry empty"
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("stored"); // foreground, width, buffer size, threshold, background

    const QString accept = QStringLiteral("accept");
    // clang-format off
    QTest::newRow("values round-trip") << 20000 << 120 << "Navy" << true << accept << "Navy,Ivory,20000,30,1" << "Navy,120,20000,31,Ivory";
    QTest::newRow("unchecking stores width 0") << 20000 << 120 << "Navy" << false << accept << "Navy,Ivory,20000,30,1" << "Navy,0,20000,31,Ivory";
    QTest::newRow("checking again restores 50, not the older width") << 20000 << 0 << "Navy" << true << accept << "Navy,Ivory,20000,30,0" << "Navy,50,20000,31,Ivory";
    QTest::newRow("unknown colour stores the registry's first") << 20000 << 50 << "Mauve" << true << accept << "Black,Ivory,20000,30,1" << "Black,50,20000,31,Ivory";
    QTest::newRow("colour names are case-sensitive") << 20000 << 50 << "navy" << true << accept << "Black,Ivory,20000,30,1" << "Black,50,20000,31,Ivory";
    QTest::newRow("oversized buffer is shown and stored as the maximum") << 5000000 << 50 << "Navy" << true << accept << "Navy,Ivory,1000000,30,1" << "Navy,50,1000000,31,Ivory";
    QTest::newRow("cancel changes nothing") << 12345 << 70 << "Navy" << false << "reject" << "Navy,Ivory,12345,30,1" << "Navy,70,12345,30,Ivory";
    // Both combo boxes are empty; the model puts its defaults in for the missing names.
    QTest::newRow("empty colour registry") << 5000 << 50 << "Navy" << true << "accept, registry empty" << ",,5000,30,1" << "Black,50,5000,31,White";
    // clang-format on
}

void TestDecodedTextProperties::mappingToModel()
{
    QFETCH(int, bufferSize);
    QFETCH(int, width);
    QFETCH(QString, foreground);
    QFETCH(bool, check);
    QFETCH(QString, answer);
    QFETCH(QString, shown);
    QFETCH(QString, stored);

    std::optional<EmptyRegistry> registry;
    if (answer.endsWith(QStringLiteral("registry empty")))
        registry.emplace();
    DecodedTextData model;
    model.SetProperties(bufferSize, 30, width, foreground, QStringLiteral("Ivory"));
    model.GetConfigurationChanged();
    DecodedTextContent content(3, false, &model, nullptr);
    QSignalSpy changed(&model, &DecodedTextData::PropertiesChanged);
    QCOMPARE(RunFromMenu(content,
                         [&](DecodedTextProperties* dialog) {
                             dialog->SetInfoAreaEnabled(check);
                             dialog->SetQualityThreshold(31);
                             answer == QStringLiteral("reject") ? dialog->reject()
                                                                : dialog->accept();
                         }),
             shown);
    const bool accepted = answer != QStringLiteral("reject");
    QCOMPARE(changed.count(), accepted ? 1 : 0);
    QCOMPARE(model.GetConfigurationChanged(), accepted);
    QCOMPARE(QStringLiteral("%1,%2,%3,%4,%5")
                 .arg(model.GetForegroundColor())
                 .arg(model.GetInfoAreaWidth())
                 .arg(model.GetBufferSize())
                 .arg(model.GetQualityThreshold())
                 .arg(model.GetBackgroundColor()),
             stored);
}

QTEST_MAIN(TestDecodedTextProperties)
#include "tst_decodedtextproperties.moc"
