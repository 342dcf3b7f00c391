#include "colors.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextproperties.h"
#include "widgetfixtures.h"

#include <QMenu>
#include <QtTest>

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
    void cancelChangesNothing();
    void emptyRegistry();
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
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("stored"); // foreground, width, buffer size

    QTest::newRow("values round-trip") << 20000 << 120 << "Navy" << true << "Navy,Ivory,20000,30,1"
                                       << "Navy,120,20000";
    QTest::newRow("unchecking stores width 0")
        << 20000 << 120 << "Navy" << false << "Navy,Ivory,20000,30,1"
        << "Navy,0,20000";
    QTest::newRow("checking again restores 50, not the older width")
        << 20000 << 0 << "Navy" << true << "Navy,Ivory,20000,30,0"
        << "Navy,50,20000";
    QTest::newRow("unknown colour stores the registry's first")
        << 20000 << 50 << "Mauve" << true << "Black,Ivory,20000,30,1"
        << "Black,50,20000";
    QTest::newRow("colour names are case-sensitive")
        << 20000 << 50 << "navy" << true << "Black,Ivory,20000,30,1" << "Black,50,20000";
    QTest::newRow("oversized buffer is shown and stored as the maximum")
        << 5000000 << 50 << "Navy" << true << "Navy,Ivory,1000000,30,1"
        << "Navy,50,1000000";
}

void TestDecodedTextProperties::mappingToModel()
{
    QFETCH(int, bufferSize);
    QFETCH(int, width);
    QFETCH(QString, foreground);
    QFETCH(bool, check);
    QFETCH(QString, shown);
    QFETCH(QString, stored);

    DecodedTextData model;
    model.SetProperties(bufferSize, 30, width, foreground, QStringLiteral("Ivory"));
    DecodedTextContent content(3, false, &model, nullptr);
    QSignalSpy changed(&model, &DecodedTextData::PropertiesChanged);
    QCOMPARE(RunFromMenu(content,
                         [&](DecodedTextProperties* dialog) {
                             dialog->SetInfoAreaEnabled(check);
                             dialog->SetQualityThreshold(31);
                             dialog->accept();
                         }),
             shown);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(QStringLiteral("%1,%2,%3")
                 .arg(model.GetForegroundColor())
                 .arg(model.GetInfoAreaWidth())
                 .arg(model.GetBufferSize()),
             stored);
    QCOMPARE(model.GetQualityThreshold(), 31);
    QCOMPARE(model.GetBackgroundColor(), QStringLiteral("Ivory"));
}

void TestDecodedTextProperties::cancelChangesNothing()
{
    DecodedTextData model;
    model.SetProperties(12345, 40, 70, QStringLiteral("Navy"), QStringLiteral("Ivory"));
    model.GetConfigurationChanged();
    DecodedTextContent content(3, false, &model, nullptr);
    QSignalSpy changed(&model, &DecodedTextData::PropertiesChanged);
    RunFromMenu(content, [](DecodedTextProperties* dialog) {
        dialog->SetMaxChars(2000);
        dialog->SetInfoAreaEnabled(false);
        dialog->SetForegroundColor(QStringLiteral("Red"));
        dialog->reject();
    });
    QCOMPARE(changed.count(), 0);
    QCOMPARE(model.GetBufferSize(), 12345);
    QCOMPARE(model.GetInfoAreaWidth(), 70);
    QCOMPARE(model.GetForegroundColor(), QStringLiteral("Navy"));
    QVERIFY(!model.GetConfigurationChanged());
}

void TestDecodedTextProperties::emptyRegistry()
{
    EmptyRegistry registry;
    DecodedTextData model;
    model.SetProperties(5000, 50, 50, QStringLiteral("Navy"), QStringLiteral("Ivory"));
    DecodedTextContent content(3, false, &model, nullptr);
    // Both combo boxes are empty; the model puts its defaults in for the missing names.
    QCOMPARE(RunFromMenu(content, [](DecodedTextProperties* dialog) { dialog->accept(); }),
             QStringLiteral(",,5000,50,1"));
    QCOMPARE(model.GetForegroundColor(), QStringLiteral("Black"));
    QCOMPARE(model.GetBackgroundColor(), QStringLiteral("White"));
}

QTEST_MAIN(TestDecodedTextProperties)
#include "tst_decodedtextproperties.moc"
