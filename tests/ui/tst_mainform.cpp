// The main form is the contract every other part of the program finds its
// widgets by: these tests build it on a bare QMainWindow and check the
// names, classes, starting states, items and ranges that code relies on.

#include "resources.h"
#include "ui_mainwindow.h"

#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

#include <memory>

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void widgets_data();
    void widgets();
    void comboItems_data();
    void comboItems();
    void spinBoxes_data();
    void spinBoxes();
    void appearance_data();
    void appearance();
    void layouts_data();
    void layouts();
    void parameterColumns();
    void actionsAndMenus();
    void tabs();
    void images_data();
    void images();
    void decimalPointIgnoresSystemLocale();

private:
    template<typename T> T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }

    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<Ui::MainWindowClass> ui;
};

void TestMainForm::initTestCase()
{
    registerImageResources();
}

void TestMainForm::init()
{
    window = std::make_unique<QMainWindow>();
    ui = std::make_unique<Ui::MainWindowClass>();
    ui->setupUi(window.get());
}

void TestMainForm::cleanup()
{
    ui.reset();
    window.reset();
}

// Every named widget: its class, whether it starts enabled, and its
// design-time text or title (empty where it has none).
void TestMainForm::widgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("text");

    struct Row { const char *name; const char *className; bool enabled; const char *text; };
    const Row rows[] = {
        { "centralWidget", "QWidget", true, "" },
        { "comParamsFrame", "QFrame", true, "" },
        { "serialPortLabel", "QLabel", true, "Serial port" },
        { "serialPortComboBox", "QComboBox", true, "" },
        { "openClosePushButton", "QPushButton", true, "Open COM Port" },
        { "parametersGroupBox", "QGroupBox", true, "Parameters" },
        { "serialNumberLabel", "QLabel", true, "Serial number" },
        { "serialNumberSpinBox", "QSpinBox", true, "" },
        { "factoryCalibrationLabel", "QLabel", true, "Cal/Conf" },
        { "factoryCalibrationLineEdit", "QLineEdit", true, "CLEAR" },
        { "digitalInputLabel", "QLabel", true, "Digital input" },
        { "digitalInputLineEdit", "QLineEdit", true, "CLEAR" },
        { "analogicOutputStatusLabel", "QLabel", true, "An. output" },
        { "analogicOutputStatusLineEdit", "QLineEdit", true, "CLEAR" },
        { "slaveLabel", "QLabel", true, "Slave" },
        { "slaveSpinBox", "QSpinBox", true, "" },
        { "databitParityStopLabel", "QLabel", true, "Serial Conf" },
        { "databitParityStopComboBox", "QComboBox", true, "" },
        { "analogicOutputModeLabel", "QLabel", true, "An. out. mode" },
        { "analogicOutputModeComboBox", "QComboBox", true, "" },
        { "PT100ReadingEnableCheckBox", "QCheckBox", true, "PT100 temperature reading enable" },
        { "FWVersionLabel", "QLabel", true, "FW Version" },
        { "FWVersionLineEdit", "QLineEdit", true, "FF.AA-KK.EE" },
        { "notVolatileParLabel", "QLabel", true, "NV par" },
        { "notVolatileParLineEdit", "QLineEdit", true, "CLEAR" },
        { "PT100StatusLabel", "QLabel", true, "PT100 status" },
        { "PT100StatusLineEdit", "QLineEdit", true, "CLEAR" },
        { "watchdogLabel", "QLabel", true, "Wdg" },
        { "watchdogLineEdit", "QLineEdit", true, "CLEAR" },
        { "bitRateLabel", "QLabel", true, "Bit Rate" },
        { "bitRateComboBox", "QComboBox", true, "" },
        { "delayLabel", "QLabel", true, "Delay" },
        { "delaySpinBox", "QSpinBox", true, "" },
        { "analogicOutputSelectionLabel", "QLabel", true, "An. out. select" },
        { "analogicOutputSelectionComboBox", "QComboBox", true, "" },
        { "constantPerPulseLabel", "QLabel", true, "Const. x pulse" },
        { "constantPerPulseDoubleSpinBox", "QDoubleSpinBox", true, "" },
        { "readAllPushButton", "QPushButton", false, "Read all" },
        { "writeAllPushButton", "QPushButton", false, "Write all" },
        { "savePushButton", "QPushButton", false, "Save" },
        { "resetParamsPushButton", "QPushButton", false, "Reset" },
        { "currentValuesGroupBox", "QGroupBox", true, "Current values" },
        { "irradianceLabel", "QLabel", true, "Irradiance" },
        { "irradianceSpinBox", "QSpinBox", true, "" },
        { "PT100TempLabel", "QLabel", true, "Temperature" },
        { "PT100TempDoubleSpinBox", "QDoubleSpinBox", true, "" },
        { "speedLabel", "QLabel", true, "Speed" },
        { "speedDoubleSpinBox", "QDoubleSpinBox", true, "" },
        { "readParamsFrame", "QFrame", true, "" },
        { "readCheckBox", "QCheckBox", false, "Read" },
        { "readHorizontalSlider", "QSlider", false, "" },
        { "readSpinBox", "QSpinBox", false, "" },
        { "tabWidget", "QTabWidget", false, "" },
        { "irradianceQwtPlot", "QwtPlot", true, "" },
        { "temperatureQwtPlot", "QwtPlot", true, "" },
        { "speedQwtPlot", "QwtPlot", true, "" },
        { "menuBar", "QMenuBar", true, "" },
        { "statusBar", "QStatusBar", true, "" },
    };
    for (const Row &row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.className) << row.enabled
                                << QString::fromUtf8(row.text);
}

void TestMainForm::widgets()
{
    QFETCH(QString, className);
    QFETCH(bool, enabled);
    QFETCH(QString, text);

    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const QList<QWidget *> found = window->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    // Whether the widget itself is disabled, apart from its parents: the
    // plots are enabled, but sit in the disabled tab widget.
    QCOMPARE(!widget->testAttribute(Qt::WA_ForceDisabled), enabled);

    if (qobject_cast<QGroupBox *>(widget))
        QCOMPARE(widget->property("title").toString(), text);
    else if (qobject_cast<QLabel *>(widget) || qobject_cast<QAbstractButton *>(widget)
             || qobject_cast<QLineEdit *>(widget))
        QCOMPARE(widget->property("text").toString(), text);
    else
        QVERIFY(text.isEmpty());
}

void TestMainForm::comboItems_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("currentIndex");

    // The indexes are the register values of these parameters, so order
    // matters as much as text.
    QTest::newRow("serialPortComboBox") << QStringList() << -1;
    QTest::newRow("bitRateComboBox")
            << QStringList { "9600", "19200", "38400", "57600", "115200" } << 0;
    QTest::newRow("databitParityStopComboBox") << QStringList { "8N1", "8E1", "8O1", "8N2" } << 0;
    const QString divide(QChar(0x00F7));
    QTest::newRow("analogicOutputModeComboBox")
            << QStringList { "disabled", "0 " + divide + " 10 V", "0 " + divide + " 5 V",
                             "0 " + divide + " 20 mA current loop", "4 " + divide + " 20 mA current loop" }
            << 0;
    QTest::newRow("analogicOutputSelectionComboBox")
            << QStringList { "irradiation", "PT100 temperature", "select by digital input",
                             "by Modbus register" }
            << 0;
}

void TestMainForm::comboItems()
{
    QFETCH(QStringList, items);
    QFETCH(int, currentIndex);

    QComboBox *combo = child<QComboBox>(QTest::currentDataTag());
    QVERIFY(combo);
    QStringList actual;
    for (int i = 0; i < combo->count(); ++i)
        actual << combo->itemText(i);
    QCOMPARE(actual, items);
    QCOMPARE(combo->currentIndex(), currentIndex);
}

void TestMainForm::spinBoxes_data()
{
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("correction");

    const int noButtons = QAbstractSpinBox::NoButtons;
    const int plusMinus = QAbstractSpinBox::PlusMinus;
    const int arrows = QAbstractSpinBox::UpDownArrows;
    const int toPrevious = QAbstractSpinBox::CorrectToPreviousValue;
    const int toNearest = QAbstractSpinBox::CorrectToNearestValue;

    QTest::newRow("serialNumberSpinBox")
            << 0.0 << 2147483647.0 << 9000.0 << 0 << "" << true << noButtons << toPrevious;
    QTest::newRow("slaveSpinBox") << 1.0 << 247.0 << 1.0 << 0 << "" << false << plusMinus << toNearest;
    QTest::newRow("delaySpinBox") << 1.0 << 100.0 << 1.0 << 0 << "" << false << plusMinus << toNearest;
    QTest::newRow("constantPerPulseDoubleSpinBox")
            << 0.000488281 << 31.9995 << 1.44 << 11 << "" << false << arrows << toPrevious;
    QTest::newRow("irradianceSpinBox") << 0.0 << 65535.0 << 0.0 << 0 << "" << true << noButtons << toPrevious;
    QTest::newRow("PT100TempDoubleSpinBox")
            << -8192.0 << 8191.75 << 0.0 << 2 << QString::fromUtf8(" °C") << true << noButtons << toPrevious;
    QTest::newRow("speedDoubleSpinBox")
            << 0.0 << 2147480000.0 << 0.0 << 2 << "" << true << noButtons << toPrevious;
    QTest::newRow("readSpinBox") << 1.0 << 60000.0 << 250.0 << 0 << " ms" << false << arrows << toPrevious;
}

void TestMainForm::spinBoxes()
{
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, suffix);
    QFETCH(bool, readOnly);
    QFETCH(int, buttons);
    QFETCH(int, correction);

    QAbstractSpinBox *box = child<QAbstractSpinBox>(QTest::currentDataTag());
    QVERIFY(box);
    QCOMPARE(box->property("minimum").toDouble(), minimum);
    QCOMPARE(box->property("maximum").toDouble(), maximum);
    QCOMPARE(box->property("value").toDouble(), value);
    QCOMPARE(box->property("suffix").toString(), suffix);
    if (auto *doubleBox = qobject_cast<QDoubleSpinBox *>(box))
        QCOMPARE(doubleBox->decimals(), decimals);
    QCOMPARE(box->isReadOnly(), readOnly);
    QCOMPARE(int(box->buttonSymbols()), buttons);
    QCOMPARE(int(box->correctionMode()), correction);
}

void TestMainForm::appearance_data()
{
    QTest::addColumn<bool>("smallFont");
    QTest::addColumn<bool>("minimumHeight");

    struct Row { const char *name; bool smallFont; bool minimumHeight; };
    const Row rows[] = {
        { "serialNumberLabel", true, true },
        { "factoryCalibrationLabel", true, true },
        { "digitalInputLabel", true, true },
        { "analogicOutputStatusLabel", true, true },
        { "slaveLabel", true, true },
        { "databitParityStopLabel", true, true },
        { "analogicOutputModeLabel", true, true },
        { "FWVersionLabel", true, true },
        { "notVolatileParLabel", true, true },
        { "PT100StatusLabel", true, true },
        { "watchdogLabel", true, true },
        { "bitRateLabel", true, true },
        { "delayLabel", false, false },
        { "analogicOutputSelectionLabel", true, false },
        { "constantPerPulseLabel", true, false },
        { "irradianceLabel", true, true },
        { "PT100TempLabel", true, true },
        { "speedLabel", true, true },
        { "readCheckBox", true, true },
        { "serialNumberSpinBox", true, false },
        { "bitRateComboBox", true, false },
        { "databitParityStopComboBox", true, false },
        { "analogicOutputModeComboBox", true, false },
        { "analogicOutputSelectionComboBox", true, false },
        { "serialPortLabel", false, false },
    };
    for (const Row &row : rows)
        QTest::newRow(row.name) << row.smallFont << row.minimumHeight;
}

void TestMainForm::appearance()
{
    QFETCH(bool, smallFont);
    QFETCH(bool, minimumHeight);

    QWidget *widget = child<QWidget>(QTest::currentDataTag());
    QVERIFY(widget);
    QCOMPARE(widget->font().pointSize() == 8, smallFont);
    QCOMPARE(widget->minimumHeight(), minimumHeight ? 20 : 0);
}

void TestMainForm::layouts_data()
{
    QTest::addColumn<int>("spacing");
    QTest::addColumn<int>("margin");

    QTest::newRow("verticalLayout_4") << 2 << 4;
    QTest::newRow("horizontalLayout") << 2 << 4;
    QTest::newRow("gridLayout") << 2 << 4;
    QTest::newRow("horizontalLayout_4") << 2 << 4;
    QTest::newRow("horizontalLayout_3") << 2 << 4;
    QTest::newRow("horizontalLayout_2") << 2 << 0;
    QTest::newRow("formLayout_2") << 2 << 0;
    QTest::newRow("formLayout") << 2 << 0;
    QTest::newRow("verticalLayout") << 0 << 0;
    QTest::newRow("verticalLayout_2") << 0 << 0;
    QTest::newRow("verticalLayout_3") << 0 << 0;
}

void TestMainForm::layouts()
{
    QFETCH(int, spacing);
    QFETCH(int, margin);

    QLayout *layout = child<QLayout>(QTest::currentDataTag());
    QVERIFY(layout);
    if (auto *form = qobject_cast<QFormLayout *>(layout)) {
        QCOMPARE(form->horizontalSpacing(), spacing);
        QCOMPARE(form->verticalSpacing(), spacing);
        QCOMPARE(form->fieldGrowthPolicy(), QFormLayout::AllNonFixedFieldsGrow);
        QCOMPARE(form->rowWrapPolicy(), QFormLayout::DontWrapRows);
    } else {
        QCOMPARE(layout->spacing(), spacing);
    }
    QCOMPARE(layout->contentsMargins(), QMargins(margin, margin, margin, margin));
}

// Each parameter's label sits beside its field, in the row it is listed in.
void TestMainForm::parameterColumns()
{
    const QList<QPair<const char *, const char *>> left = {
        { "serialNumberLabel", "serialNumberSpinBox" },
        { "factoryCalibrationLabel", "factoryCalibrationLineEdit" },
        { "digitalInputLabel", "digitalInputLineEdit" },
        { "analogicOutputStatusLabel", "analogicOutputStatusLineEdit" },
        { "slaveLabel", "slaveSpinBox" },
        { "databitParityStopLabel", "databitParityStopComboBox" },
        { "analogicOutputModeLabel", "analogicOutputModeComboBox" },
    };
    const QList<QPair<const char *, const char *>> right = {
        { "FWVersionLabel", "FWVersionLineEdit" },
        { "notVolatileParLabel", "notVolatileParLineEdit" },
        { "PT100StatusLabel", "PT100StatusLineEdit" },
        { "watchdogLabel", "watchdogLineEdit" },
        { "bitRateLabel", "bitRateComboBox" },
        { "delayLabel", "delaySpinBox" },
        { "analogicOutputSelectionLabel", "analogicOutputSelectionComboBox" },
        { "constantPerPulseLabel", "constantPerPulseDoubleSpinBox" },
    };
    auto checkColumn = [this](QFormLayout *form, const QList<QPair<const char *, const char *>> &rows) {
        for (int row = 0; row < rows.size(); ++row) {
            QLayoutItem *label = form->itemAt(row, QFormLayout::LabelRole);
            QLayoutItem *field = form->itemAt(row, QFormLayout::FieldRole);
            QVERIFY2(label && field, rows.at(row).first);
            QCOMPARE(label->widget(), child<QWidget>(rows.at(row).first));
            QCOMPARE(field->widget(), child<QWidget>(rows.at(row).second));
        }
    };
    checkColumn(ui->formLayout_2, left);
    checkColumn(ui->formLayout, right);
    QCOMPARE(ui->formLayout_2->rowCount(), 8);
    QCOMPARE(ui->formLayout->rowCount(), 8);
    QLayoutItem *spanning = ui->formLayout_2->itemAt(7, QFormLayout::SpanningRole);
    QVERIFY(spanning);
    QCOMPARE(spanning->widget(), ui->PT100ReadingEnableCheckBox);

    QCOMPARE(ui->horizontalLayout_2->count(), 4);
    QCOMPARE(ui->horizontalLayout_2->itemAt(0)->widget(), ui->readAllPushButton);
    QCOMPARE(ui->horizontalLayout_2->itemAt(3)->widget(), ui->resetParamsPushButton);
    QVERIFY(ui->openClosePushButton->isCheckable());
    QVERIFY(!ui->openClosePushButton->isChecked());
    QVERIFY(!ui->PT100ReadingEnableCheckBox->isChecked());
    QVERIFY(!ui->readCheckBox->isChecked());
    QCOMPARE(ui->readHorizontalSlider->orientation(), Qt::Horizontal);
    QCOMPARE(ui->readHorizontalSlider->minimum(), 250);
    QCOMPARE(ui->readHorizontalSlider->maximum(), 60000);
    // The status and identity fields only ever show what the sensor reports.
    const QList<QLineEdit *> statusFields = {
        ui->FWVersionLineEdit, ui->factoryCalibrationLineEdit, ui->notVolatileParLineEdit,
        ui->digitalInputLineEdit, ui->PT100StatusLineEdit, ui->analogicOutputStatusLineEdit,
        ui->watchdogLineEdit,
    };
    for (QLineEdit *edit : statusFields)
        QVERIFY2(edit->isReadOnly(), qPrintable(edit->objectName()));
}

void TestMainForm::actionsAndMenus()
{
    struct Expected { QAction *action; const char *text; const char *shortcut; };
    const Expected actions[] = {
        { ui->actionOptions, "&Options", "Ctrl+O" },
        { ui->actionExit, "Exit", "Ctrl+X" },
        { ui->actionAbout, "About...", "Ctrl+A" },
    };
    for (const Expected &expected : actions) {
        QCOMPARE(expected.action->text(), QString::fromLatin1(expected.text));
        QCOMPARE(expected.action->shortcut(), QKeySequence(QString::fromLatin1(expected.shortcut)));
        QVERIFY2(!expected.action->icon().isNull(), expected.text);
    }

    const QList<QAction *> menus = ui->menuBar->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.at(0)->menu(), ui->menuFile);
    QCOMPARE(menus.at(1)->menu(), ui->menuHelp);
    QCOMPARE(ui->menuFile->title(), QStringLiteral("&File"));
    QCOMPARE(ui->menuHelp->title(), QStringLiteral("Help"));
    QCOMPARE(ui->menuFile->actions(), (QList<QAction *> { ui->actionOptions, ui->actionExit }));
    QCOMPARE(ui->menuHelp->actions(), QList<QAction *> { ui->actionAbout });

    QCOMPARE(window->menuBar(), ui->menuBar);
    QCOMPARE(window->statusBar(), ui->statusBar);
    QCOMPARE(window->centralWidget(), ui->centralWidget);
    QCOMPARE(window->windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(window->size(), QSize(450, 600));
    QVERIFY(!ui->openClosePushButton->icon().isNull());
}

void TestMainForm::tabs()
{
    QCOMPARE(ui->tabWidget->count(), 3);
    const char *texts[] = { "Irradiance", "Temperature", "Speed" };
    QWidget *pages[] = { ui->irradianceTab, ui->temperatureTab, ui->speedTab };
    QWidget *plots[] = { ui->irradianceQwtPlot, ui->temperatureQwtPlot, ui->speedQwtPlot };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(ui->tabWidget->tabText(i), QString::fromLatin1(texts[i]));
        QCOMPARE(ui->tabWidget->widget(i), pages[i]);
        QCOMPARE(plots[i]->parentWidget(), pages[i]);
        QCOMPARE(pages[i]->layout()->count(), 1);
    }
    QCOMPARE(ui->tabWidget->currentIndex(), 0);
}

void TestMainForm::images_data()
{
    QTest::addColumn<QByteArray>("format");

    QTest::newRow(":/Images/quit.png") << QByteArray("png");
    QTest::newRow(":/Images/help.png") << QByteArray("png");
    QTest::newRow(":/Images/options.png") << QByteArray("png");
    QTest::newRow(":/Images/opencom.png") << QByteArray("png");
    QTest::newRow(":/Images/closecom.png") << QByteArray("png");
    QTest::newRow(":/Images/logo.ico") << QByteArray("ico");
    QTest::newRow(":/Images/logo.jpg") << QByteArray("jpeg");
}

// Each picture exists in the resources and really is of the format its name
// promises, so the icon and logo loaders can read it.
void TestMainForm::images()
{
    QFETCH(QByteArray, format);

    QImageReader reader(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QVERIFY(image.width() >= 16 && image.height() >= 16);
}

// The three double spin boxes carry their own locale, so a technician on a
// system with a comma decimal separator still sees and types a point.
void TestMainForm::decimalPointIgnoresSystemLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QMainWindow germanWindow;
    Ui::MainWindowClass germanUi;
    germanUi.setupUi(&germanWindow);
    QLocale::setDefault(previous);

    QCOMPARE(germanUi.constantPerPulseDoubleSpinBox->text(), QStringLiteral("1.44000000000"));
    germanUi.PT100TempDoubleSpinBox->setValue(-12.5);
    QCOMPARE(germanUi.PT100TempDoubleSpinBox->text(), QString::fromUtf8("-12.50 °C"));
    germanUi.speedDoubleSpinBox->setValue(1234.5);
    QCOMPARE(germanUi.speedDoubleSpinBox->text(), QStringLiteral("1234.50"));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
