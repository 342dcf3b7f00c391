#include "colors.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextproperties.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>

namespace {

// Puts a colour registry in place for one test and gives the suite's back afterwards.
class Registry {
public:
    explicit Registry(const QStringList& names) : saved(Set()->GetColorDefitions())
    {
        QVector<ColorDefinition> definitions;
        for (const QString& name : names)
            definitions.append(ColorDefinition(name, QColor(name)));
        Set()->SetColorDefinitions(definitions);
    }
    ~Registry() { Set()->SetColorDefinitions(saved); }

private:
    static ColorDefinitionSet* Set() { return Colors::Instance().GetColors(); }
    QVector<ColorDefinition> saved;
};

QStringList Items(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

QWidget* Cell(QGridLayout* grid, int row, int column)
{
    QLayoutItem* item = grid->itemAtPosition(row, column);
    return item ? item->widget() : nullptr;
}

// What the operator saw in the dialog.
struct Shown {
    QString foreground, background;
    int maxChars = -1, quality = -1;
    bool infoArea = false;
};

// Opens the properties from the text area's context menu and answers the dialog.
Shown RunFromMenu(DecodedTextContent& content,
                  const std::function<void(DecodedTextProperties*)>& answer)
{
    Shown shown;
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, [&, timer, deadline] {
        auto* dialog = qobject_cast<DecodedTextProperties*>(QApplication::activeModalWidget());
        if (!dialog && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (!dialog)
            return;
        shown.foreground = dialog->GetForegroundColor();
        shown.background = dialog->GetBackgroundColor();
        shown.maxChars = dialog->GetMaxChars();
        shown.quality = dialog->GetQualityThreshold();
        shown.infoArea = dialog->IsInfoAreaEnabled();
        answer(dialog);
    });
    timer->start(10);

    QMenu menu;
    content.AddActions(&menu, QPoint(1, 1));
    for (QAction* action : menu.actions())
        if (action->objectName() == QStringLiteral("PropertiesAction"))
            action->trigger();
    return shown;
}

} // namespace

class TestDecodedTextProperties : public QObject {
    Q_OBJECT

private slots:
    void form();
    void metaObject();
    void combosFollowRegistry_data();
    void combosFollowRegistry();
    void colourSelection_data();
    void colourSelection();
    void spinValuesAreClamped_data();
    void spinValuesAreClamped();
    void mappingToModel_data();
    void mappingToModel();
    void cancelChangesNothing();
    void emptyRegistry();
};

void TestDecodedTextProperties::form()
{
    DecodedTextProperties dialog(nullptr);
    QCOMPARE(dialog.objectName(), QStringLiteral("DecodedTextProperties"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Properties"));
    QCOMPARE(dialog.size(), QSize(278, 223));
    QCOMPARE(dialog.locale(), QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(dialog.sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(dialog.sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));

    // Every member carries its own name, so style sheets and tests can find it.
    const QList<QObject*> members { dialog.verticalLayout,  dialog.groupBox,
                                    dialog.gridLayout,      dialog.labelBackground,
                                    dialog.comboBackground, dialog.labelForeground,
                                    dialog.comboForeground, dialog.widget,
                                    dialog.gridLayout_2,    dialog.labelMaxChars,
                                    dialog.spinMaxChars,    dialog.labelQuality,
                                    dialog.spinQuality,     dialog.labelInfoArea,
                                    dialog.checkInfoArea,   dialog.buttonBox };
    const QStringList names { QStringLiteral("verticalLayout"),  QStringLiteral("groupBox"),
                              QStringLiteral("gridLayout"),      QStringLiteral("labelBackground"),
                              QStringLiteral("comboBackground"), QStringLiteral("labelForeground"),
                              QStringLiteral("comboForeground"), QStringLiteral("widget"),
                              QStringLiteral("gridLayout_2"),    QStringLiteral("labelMaxChars"),
                              QStringLiteral("spinMaxChars"),    QStringLiteral("labelQuality"),
                              QStringLiteral("spinQuality"),     QStringLiteral("labelInfoArea"),
                              QStringLiteral("checkInfoArea"),   QStringLiteral("buttonBox") };
    for (int i = 0; i < members.size(); ++i) {
        QVERIFY(members.at(i));
        QCOMPARE(members.at(i)->objectName(), names.at(i));
    }

    QCOMPARE(dialog.layout(), dialog.verticalLayout);
    QCOMPARE(dialog.verticalLayout->count(), 4);
    QCOMPARE(dialog.verticalLayout->itemAt(0)->widget(), dialog.groupBox);
    QCOMPARE(dialog.verticalLayout->itemAt(1)->widget(), dialog.widget);
    QSpacerItem* spacer = dialog.verticalLayout->itemAt(2)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(20, 0));
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(dialog.verticalLayout->itemAt(3)->widget(), dialog.buttonBox);

    QCOMPARE(dialog.groupBox->title(), QStringLiteral("Colors"));
    QCOMPARE(dialog.groupBox->layout(), dialog.gridLayout);
    QCOMPARE(Cell(dialog.gridLayout, 0, 0), dialog.labelBackground);
    QCOMPARE(Cell(dialog.gridLayout, 0, 1), dialog.comboBackground);
    QCOMPARE(Cell(dialog.gridLayout, 1, 0), dialog.labelForeground);
    QCOMPARE(Cell(dialog.gridLayout, 1, 1), dialog.comboForeground);
    QCOMPARE(dialog.widget->layout(), dialog.gridLayout_2);
    QCOMPARE(Cell(dialog.gridLayout_2, 0, 0), dialog.labelMaxChars);
    QCOMPARE(Cell(dialog.gridLayout_2, 0, 1), dialog.spinMaxChars);
    QCOMPARE(Cell(dialog.gridLayout_2, 1, 0), dialog.labelQuality);
    QCOMPARE(Cell(dialog.gridLayout_2, 1, 1), dialog.spinQuality);
    QCOMPARE(Cell(dialog.gridLayout_2, 2, 0), dialog.labelInfoArea);
    QCOMPARE(Cell(dialog.gridLayout_2, 2, 1), dialog.checkInfoArea);

    QCOMPARE(dialog.labelBackground->text(), QStringLiteral("Background"));
    QCOMPARE(dialog.labelForeground->text(), QStringLiteral("Foreground"));
    QCOMPARE(dialog.labelMaxChars->text(), QStringLiteral("Max. number of chars"));
    QCOMPARE(dialog.labelQuality->text(), QStringLiteral("Quality Threshold"));
    QCOMPARE(dialog.labelInfoArea->text(), QStringLiteral("Info area"));
    QCOMPARE(dialog.checkInfoArea->text(), QStringLiteral("enabled"));

    QCOMPARE(dialog.spinMaxChars->minimum(), 1000);
    QCOMPARE(dialog.spinMaxChars->maximum(), 1000000);
    QCOMPARE(dialog.spinMaxChars->value(), 1000);
    QCOMPARE(dialog.spinMaxChars->singleStep(), 1);
    QCOMPARE(dialog.spinQuality->minimum(), 0);
    QCOMPARE(dialog.spinQuality->maximum(), 100);
    QCOMPARE(dialog.spinQuality->value(), 0);
    QCOMPARE(dialog.spinQuality->suffix(), QStringLiteral(" %"));
    QVERIFY(!dialog.checkInfoArea->isChecked());

    QCOMPARE(dialog.buttonBox->orientation(), Qt::Horizontal);
    QCOMPARE(dialog.buttonBox->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

void TestDecodedTextProperties::metaObject()
{
    DecodedTextProperties dialog(nullptr);
    const QMetaObject* meta = dialog.metaObject();
    QCOMPARE(QString::fromLatin1(meta->className()), QStringLiteral("DecodedTextProperties"));
    QCOMPARE(meta->superClass(), &QDialog::staticMetaObject);
    QVERIFY(dialog.inherits("DecodedTextProperties"));
    QVERIFY(qobject_cast<DecodedTextProperties*>(static_cast<QObject*>(&dialog)));
    // No signals, slots or properties of its own.
    QCOMPARE(meta->methodCount(), meta->methodOffset());
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());
    // The buttons close it.
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.buttonBox->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(accepted.count(), 1);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.buttonBox->button(QDialogButtonBox::Cancel)->click();
    QCOMPARE(rejected.count(), 1);
}

void TestDecodedTextProperties::combosFollowRegistry_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::newRow("registry order is kept")
        << QStringList { QStringLiteral("Red"), QStringLiteral("Black"), QStringLiteral("White") };
    QTest::newRow("empty registry leaves both empty") << QStringList {};
}

void TestDecodedTextProperties::combosFollowRegistry()
{
    QFETCH(QStringList, names);
    Registry registry(names);
    DecodedTextProperties dialog(nullptr);
    QCOMPARE(Items(dialog.comboBackground), names);
    QCOMPARE(Items(dialog.comboForeground), names);
}

void TestDecodedTextProperties::colourSelection_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("selected");

    QTest::newRow("listed name") << QStringLiteral("Red") << QStringLiteral("Red");
    QTest::newRow("unknown name falls back to the first")
        << QStringLiteral("Mauve") << QStringLiteral("White");
    QTest::newRow("names are case-sensitive") << QStringLiteral("black") << QStringLiteral("White");
    QTest::newRow("empty name falls back to the first") << QString() << QStringLiteral("White");
}

void TestDecodedTextProperties::colourSelection()
{
    QFETCH(QString, name);
    QFETCH(QString, selected);
    Registry registry({ QStringLiteral("White"), QStringLiteral("Black"), QStringLiteral("Red") });
    DecodedTextProperties dialog(nullptr);
    // Start away from the first item, so that the fall-back is a real move.
    dialog.comboBackground->setCurrentIndex(1);
    dialog.comboForeground->setCurrentIndex(1);

    dialog.SetBackgroundColor(name);
    QCOMPARE(dialog.GetBackgroundColor(), selected);
    QCOMPARE(dialog.GetForegroundColor(), QStringLiteral("Black"));
    dialog.SetForegroundColor(name);
    QCOMPARE(dialog.GetForegroundColor(), selected);
}

void TestDecodedTextProperties::spinValuesAreClamped_data()
{
    QTest::addColumn<int>("maxChars");
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("shownMaxChars");
    QTest::addColumn<int>("shownQuality");

    QTest::newRow("inside the ranges") << 25000 << 65 << 25000 << 65;
    QTest::newRow("below the ranges") << 999 << -1 << 1000 << 0;
    QTest::newRow("above the ranges") << 1000001 << 101 << 1000000 << 100;
}

void TestDecodedTextProperties::spinValuesAreClamped()
{
    QFETCH(int, maxChars);
    QFETCH(int, quality);
    QFETCH(int, shownMaxChars);
    QFETCH(int, shownQuality);
    DecodedTextProperties dialog(nullptr);
    dialog.SetMaxChars(maxChars);
    dialog.SetQualityThreshold(quality);
    QCOMPARE(dialog.GetMaxChars(), shownMaxChars);
    QCOMPARE(dialog.GetQualityThreshold(), shownQuality);
    dialog.SetInfoAreaEnabled(true);
    QVERIFY(dialog.IsInfoAreaEnabled());
    dialog.SetInfoAreaEnabled(false);
    QVERIFY(!dialog.IsInfoAreaEnabled());
}

void TestDecodedTextProperties::mappingToModel_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("foreground");
    QTest::addColumn<bool>("check");
    QTest::addColumn<bool>("shownInfoArea");
    QTest::addColumn<int>("shownMaxChars");
    QTest::addColumn<QString>("shownForeground");
    QTest::addColumn<int>("storedWidth");
    QTest::addColumn<int>("storedBufferSize");

    QTest::newRow("values round-trip") << 20000 << 120 << QStringLiteral("Navy") << true << true
                                       << 20000 << QStringLiteral("Navy") << 120 << 20000;
    QTest::newRow("unchecking stores width 0")
        << 20000 << 120 << QStringLiteral("Navy") << false << true << 20000
        << QStringLiteral("Navy") << 0 << 20000;
    QTest::newRow("checking again restores 50, not the older width")
        << 20000 << 0 << QStringLiteral("Navy") << true << false << 20000 << QStringLiteral("Navy")
        << 50 << 20000;
    QTest::newRow("unknown colour stores the registry's first")
        << 20000 << 50 << QStringLiteral("Mauve") << true << true << 20000
        << QStringLiteral("Black") << 50 << 20000;
    QTest::newRow("oversized buffer is shown and stored as the maximum")
        << 5000000 << 50 << QStringLiteral("Navy") << true << true << 1000000
        << QStringLiteral("Navy") << 50 << 1000000;
}

void TestDecodedTextProperties::mappingToModel()
{
    QFETCH(int, bufferSize);
    QFETCH(int, width);
    QFETCH(QString, foreground);
    QFETCH(bool, check);
    QFETCH(bool, shownInfoArea);
    QFETCH(int, shownMaxChars);
    QFETCH(QString, shownForeground);
    QFETCH(int, storedWidth);
    QFETCH(int, storedBufferSize);

    DecodedTextData model;
    model.SetProperties(bufferSize, 30, width, foreground, QStringLiteral("Ivory"));
    DecodedTextContent content(3, false, &model, nullptr);
    QSignalSpy changed(&model, &DecodedTextData::PropertiesChanged);

    const Shown shown = RunFromMenu(content, [&](DecodedTextProperties* dialog) {
        dialog->SetInfoAreaEnabled(check);
        dialog->SetQualityThreshold(31);
        dialog->accept();
    });
    QCOMPARE(shown.infoArea, shownInfoArea);
    QCOMPARE(shown.maxChars, shownMaxChars);
    QCOMPARE(shown.quality, 30);
    QCOMPARE(shown.foreground, shownForeground);
    QCOMPARE(shown.background, QStringLiteral("Ivory"));

    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.GetInfoAreaWidth(), storedWidth);
    QCOMPARE(model.GetBufferSize(), storedBufferSize);
    QCOMPARE(model.GetQualityThreshold(), 31);
    QCOMPARE(model.GetForegroundColor(), shownForeground);
    QCOMPARE(model.GetBackgroundColor(), QStringLiteral("Ivory"));
}

void TestDecodedTextProperties::cancelChangesNothing()
{
    DecodedTextData model;
    model.SetProperties(12345, 40, 70, QStringLiteral("Navy"), QStringLiteral("Ivory"));
    model.GetConfigurationChanged();
    DecodedTextContent content(3, false, &model, nullptr);
    QSignalSpy changed(&model, &DecodedTextData::PropertiesChanged);

    const Shown shown = RunFromMenu(content, [](DecodedTextProperties* dialog) {
        dialog->SetMaxChars(2000);
        dialog->SetQualityThreshold(99);
        dialog->SetInfoAreaEnabled(false);
        dialog->SetForegroundColor(QStringLiteral("Red"));
        dialog->reject();
    });
    QCOMPARE(shown.maxChars, 12345);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(model.GetBufferSize(), 12345);
    QCOMPARE(model.GetQualityThreshold(), 40);
    QCOMPARE(model.GetInfoAreaWidth(), 70);
    QCOMPARE(model.GetForegroundColor(), QStringLiteral("Navy"));
    QVERIFY(!model.GetConfigurationChanged());
}

void TestDecodedTextProperties::emptyRegistry()
{
    Registry registry({});
    DecodedTextData model;
    model.SetProperties(5000, 50, 50, QStringLiteral("Navy"), QStringLiteral("Ivory"));
    DecodedTextContent content(3, false, &model, nullptr);

    const Shown shown
        = RunFromMenu(content, [](DecodedTextProperties* dialog) { dialog->accept(); });
    QCOMPARE(shown.foreground, QString());
    QCOMPARE(shown.background, QString());
    // The model puts its defaults in for names it did not get.
    QCOMPARE(model.GetForegroundColor(), QStringLiteral("Black"));
    QCOMPARE(model.GetBackgroundColor(), QStringLiteral("White"));
    QCOMPARE(model.GetBufferSize(), 5000);
}

QTEST_MAIN(TestDecodedTextProperties)
#include "tst_decodedtextproperties.moc"
