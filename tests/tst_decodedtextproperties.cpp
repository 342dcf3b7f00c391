#include "colors.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextproperties.h"
#include "widgetfixtures.h"

#include <QMenu>
#include <QScopeGuard>
#include <QtTest>

using WidgetFixtures::Joined;

class TestDecodedTextProperties : public QObject {
    Q_OBJECT

private slots:
    void noInterfaceOfItsOwn()
    {
        const QMetaObject& meta = DecodedTextProperties::staticMetaObject;
        QCOMPARE(meta.superClass(), &QDialog::staticMetaObject);
        QCOMPARE(meta.methodCount() + meta.propertyCount(),
                 meta.methodOffset() + meta.propertyOffset());
    }

    void mappingToModel_data()
    {
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("foreground");
        QTest::addColumn<bool>("check");
        QTest::addColumn<QString>("answer"); // "accept", "reject" or "empty registry"
        QTest::addColumn<QString>("shown"); // foreground, background, max chars, quality, check
        QTest::addColumn<QString>("stored"); // foreground, width, buffer size, quality, background
        // clang-format off
        QTest::newRow("values round-trip") << 20000 << 120 << "Navy" << true << "accept" << "Navy,Ivory,20000,30,1" << "Navy,120,20000,31,Ivory";
        QTest::newRow("unchecking stores width 0") << 20000 << 120 << "Navy" << false << "accept" << "Navy,Ivory,20000,30,1" << "Navy,0,20000,31,Ivory";
        QTest::newRow("checking again restores 50, not the older width") << 20000 << 0 << "Navy" << true << "accept" << "Navy,Ivory,20000,30,0" << "Navy,50,20000,31,Ivory";
        QTest::newRow("unknown colour stores the registry's first") << 20000 << 50 << "Mauve" << true << "accept" << "Black,Ivory,20000,30,1" << "Black,50,20000,31,Ivory";
        QTest::newRow("colour names are case-sensitive") << 20000 << 50 << "navy" << true << "accept" << "Black,Ivory,20000,30,1" << "Black,50,20000,31,Ivory";
        QTest::newRow("oversized buffer is shown and stored as the maximum") << 5000000 << 50 << "Navy" << true << "accept" << "Navy,Ivory,1000000,30,1" << "Navy,50,1000000,31,Ivory";
        QTest::newRow("cancel changes nothing") << 12345 << 70 << "Navy" << false << "reject" << "Navy,Ivory,12345,30,1" << "Navy,70,12345,30,Ivory";
        // Both combo boxes are empty; the model puts its defaults in for the missing names.
        QTest::newRow("empty colour registry") << 5000 << 50 << "Navy" << true << "empty registry" << ",,5000,30,1" << "Black,50,5000,31,White";
        // clang-format on
    }

    void mappingToModel()
    {
        QFETCH(int, bufferSize);
        QFETCH(int, width);
        QFETCH(QString, foreground);
        QFETCH(bool, check);
        QFETCH(QString, answer);
        ColorDefinitionSet* colors = Colors::Instance().GetColors();
        const auto restore = qScopeGuard(
            [colors, saved = colors->GetColorDefitions()] { colors->SetColorDefinitions(saved); });
        if (answer == QStringLiteral("empty registry"))
            colors->SetColorDefinitions({});
        DecodedTextData model;
        model.SetProperties(bufferSize, 30, width, foreground, QStringLiteral("Ivory"));
        model.GetConfigurationChanged();
        DecodedTextContent content(3, false, &model, nullptr);
        QSignalSpy changed(&model, &DecodedTextData::PropertiesChanged);
        QString shown;
        WidgetFixtures::WhenModal<DecodedTextProperties>([&](DecodedTextProperties* d) {
            shown = Joined(d->GetForegroundColor(), d->GetBackgroundColor(), d->GetMaxChars(),
                           d->GetQualityThreshold(), int(d->IsInfoAreaEnabled()));
            d->SetInfoAreaEnabled(check);
            d->SetQualityThreshold(31);
            answer == QStringLiteral("reject") ? d->reject() : d->accept();
        });
        QMenu menu;
        content.AddActions(&menu, QPoint(1, 1));
        WidgetFixtures::FindAction(menu, QStringLiteral("Properties"))->trigger();
        QTEST(shown, "shown");
        const bool accepted = answer != QStringLiteral("reject");
        QCOMPARE(changed.count(), accepted ? 1 : 0);
        QCOMPARE(model.GetConfigurationChanged(), accepted);
        QTEST(Joined(model.GetForegroundColor(), model.GetInfoAreaWidth(), model.GetBufferSize(),
                     model.GetQualityThreshold(), model.GetBackgroundColor()),
              "stored");
    }
};

QTEST_MAIN(TestDecodedTextProperties)
#include "tst_decodedtextproperties.moc"
