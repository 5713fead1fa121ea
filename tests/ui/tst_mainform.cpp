// The main form is the contract every other part of the program finds its
// widgets by: these tests build it on a bare QMainWindow and check the
// names, classes, starting states, items and ranges that code relies on.

#include "resources.h"
#include "ui_mainwindow.h"

#include <QMainWindow>
#include <QtTest>

#include <memory>

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerImageResources(); }
    void init();

    void widgets_data();
    void widgets();
    void comboItems();
    void ranges();
    void actionsAndTabs();
    void images();

private:
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<Ui::MainWindowClass> ui;
};

void TestMainForm::init()
{
    ui.reset();
    window = std::make_unique<QMainWindow>();
    ui = std::make_unique<Ui::MainWindowClass>();
    ui->setupUi(window.get());
}

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
                                << QString::fromLatin1(row.text);
}

void TestMainForm::widgets()
{
    QFETCH(QString, className);
    QFETCH(bool, enabled);
    QFETCH(QString, text);

    const QList<QWidget *> found = window->findChildren<QWidget *>(QLatin1String(QTest::currentDataTag()));
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    // The widget's own state, apart from its parents: the plots are enabled
    // but sit in the disabled tab widget.
    QCOMPARE(!widget->testAttribute(Qt::WA_ForceDisabled), enabled);
    if (qobject_cast<QGroupBox *>(widget))
        QCOMPARE(widget->property("title").toString(), text);
    else if (qobject_cast<QLabel *>(widget) || qobject_cast<QAbstractButton *>(widget)
             || qobject_cast<QLineEdit *>(widget))
        QCOMPARE(widget->property("text").toString(), text);
}

// The indexes are the register values of these parameters, so order matters
// as much as text.
void TestMainForm::comboItems()
{
    auto items = [](QComboBox *combo) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    };
    const QString to = QString::fromUtf8(" ÷ ");
    QCOMPARE(items(ui->bitRateComboBox), (QStringList { "9600", "19200", "38400", "57600", "115200" }));
    QCOMPARE(items(ui->databitParityStopComboBox), (QStringList { "8N1", "8E1", "8O1", "8N2" }));
    QCOMPARE(items(ui->analogicOutputModeComboBox),
             (QStringList { "disabled", "0" + to + "10 V", "0" + to + "5 V", "0" + to + "20 mA current loop",
                            "4" + to + "20 mA current loop" }));
    QCOMPARE(items(ui->analogicOutputSelectionComboBox),
             (QStringList { "irradiation", "PT100 temperature", "select by digital input", "by Modbus register" }));
    QCOMPARE(ui->serialPortComboBox->count(), 0);
}

void TestMainForm::ranges()
{
    const struct { QWidget *box; double minimum, maximum; } ranges[] = {
        { ui->serialNumberSpinBox, 0, 2147483647 }, { ui->slaveSpinBox, 1, 247 }, { ui->delaySpinBox, 1, 100 },
        { ui->constantPerPulseDoubleSpinBox, 0.000488281, 31.9995 }, { ui->readSpinBox, 1, 60000 },
        { ui->readHorizontalSlider, 250, 60000 },
    };
    for (const auto &range : ranges) {
        QCOMPARE(range.box->property("minimum").toDouble(), range.minimum);
        QCOMPARE(range.box->property("maximum").toDouble(), range.maximum);
    }
    QCOMPARE(ui->constantPerPulseDoubleSpinBox->decimals(), 11);
    QCOMPARE(ui->readSpinBox->value(), 250);
    QVERIFY(ui->serialNumberSpinBox->isReadOnly());
    QVERIFY(ui->openClosePushButton->isCheckable());

    // The double spin boxes carry their own locale: a technician on a
    // system with a decimal comma still sees and types a point.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QMainWindow germanWindow;
    Ui::MainWindowClass germanUi;
    germanUi.setupUi(&germanWindow);
    QLocale::setDefault(previous);
    QCOMPARE(germanUi.constantPerPulseDoubleSpinBox->text(), QStringLiteral("1.44000000000"));
}

void TestMainForm::actionsAndTabs()
{
    QCOMPARE(ui->actionOptions->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QCOMPARE(ui->actionExit->shortcut(), QKeySequence(QStringLiteral("Ctrl+X")));
    QCOMPARE(ui->actionAbout->shortcut(), QKeySequence(QStringLiteral("Ctrl+A")));
    QCOMPARE(ui->menuFile->actions(), (QList<QAction *> { ui->actionOptions, ui->actionExit }));
    QCOMPARE(ui->menuHelp->actions(), QList<QAction *> { ui->actionAbout });

    const QStringList texts = { "Irradiance", "Temperature", "Speed" };
    const QList<QWidget *> plots = { ui->irradianceQwtPlot, ui->temperatureQwtPlot, ui->speedQwtPlot };
    QCOMPARE(ui->tabWidget->count(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(ui->tabWidget->tabText(i), texts.at(i));
        QVERIFY(ui->tabWidget->widget(i)->isAncestorOf(plots.at(i)));
    }
    QCOMPARE(ui->tabWidget->currentIndex(), 0);
}

// Each picture exists and really is of the format its name promises, so
// the icon and logo loaders can read it.
void TestMainForm::images()
{
    const QStringList files = { "quit.png", "help.png", "options.png", "opencom.png", "closecom.png",
                                "logo.ico", "logo.jpg" };
    for (const QString &file : files)
        QVERIFY2(!QImage(QStringLiteral(":/Images/") + file).isNull(), qPrintable(file));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
