// The options dialog is opened modally, as the main window opens it, against
// an isolated settings store, and judged by what ends up stored.

#include "optionsdialog.h"
#include "testenvironment.h"

#include <QtTest>

#include <QSpinBox>

namespace {

// The dialog's fields and where each is stored, in the same order.
const char *const fields[] = { "requestTimeSpinBox", "responseTimeSpinBox", "maxRetriesSpinBox",
                               "incrementalTimeSpinBox", "speedPrecisionSpinBox",
                               "temperaturePrecisionSpinBox", "maxReadTimeSpinBox" };
const char *const keys[] = { "comConfig/requestTimeMs", "comConfig/responseTimeMs", "comConfig/maxRetries",
                             "comConfig/incrementalTimeMs", "userConfig/speedPrecision",
                             "userConfig/temperaturePrecision", "userConfig/maxReadTime" };

QSpinBox *spinBox(QDialog &dialog, const char *name)
{
    QSpinBox *box = dialog.findChild<QSpinBox *>(QLatin1String(name));
    if (!box)
        qFatal("The options dialog has no spin box %s", name);
    return box;
}

QList<int> storedValues()
{
    QList<int> values;
    for (const char *key : keys)
        values << QSettings().value(QLatin1String(key)).toInt();
    return values;
}

} // namespace

class TestOptionsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init() { environment.clearSettings(); }
    void storesOnlyOnClose();
    void readTimeMinimumFollowsTimings_data();
    void readTimeMinimumFollowsTimings();
    void damagedStoreShowsDefaults();

private:
    TestEnvironment environment;
};

// Nothing is stored while the dialog is open, nor when Escape leaves it (the
// second round would see it); the Close button stores every field.
void TestOptionsDialog::storesOnlyOnClose()
{
    const QList<int> entered = { 40, 60, 4, 7, 5, 0, 12345 };
    for (const bool escape : { true, false }) {
        OptionsDialog dialog;
        dialog.open();
        for (int i = 0; i < entered.size(); ++i)
            spinBox(dialog, fields[i])->setValue(entered.at(i));
        QCOMPARE(QSettings().allKeys(), QStringList());
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.findChild<QWidget *>(QStringLiteral("closePushButton")), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(storedValues(), entered);
}

void TestOptionsDialog::readTimeMinimumFollowsTimings_data()
{
    QTest::addColumn<int>("storedMaxReadTime");
    QTest::addColumn<QString>("retriesEdit");
    QTest::addColumn<int>("minimum");
    // Three live values at up to 25 + 25, 35 + 35 and 45 + 45 ms give 540;
    // 3 x (10 x (25 + 25) + 2 x 5 x (0 + 1 + ... + 9)) gives 2850. A stored
    // maximum below the minimum shows as the minimum.
    QTest::newRow("stored below minimum") << 300 << "none" << 540;
    QTest::newRow("10 retries raise a smaller maximum") << 1000 << "finished" << 2850;
    QTest::newRow("10 retries keep a larger maximum") << 60000 << "finished" << 2850;
    // Closing straight after typing, without leaving the field, must not
    // store a maximum the new timings cannot meet.
    QTest::newRow("closed while editing") << 1000 << "unfinished" << 540;
}

void TestOptionsDialog::readTimeMinimumFollowsTimings()
{
    QFETCH(int, storedMaxReadTime);
    QFETCH(QString, retriesEdit);
    QFETCH(int, minimum);
    const int shown = qMax(storedMaxReadTime, minimum);
    QSettings().setValue(QLatin1String(keys[6]), storedMaxReadTime);
    OptionsDialog dialog;
    dialog.open();
    QSpinBox *retries = spinBox(dialog, "maxRetriesSpinBox");
    if (retriesEdit != QLatin1String("none"))
        retries->setValue(10);
    if (retriesEdit == QLatin1String("finished"))
        emit retries->editingFinished();    // as when the user leaves the field
    QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->minimum(), minimum);
    QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->value(), shown);
    dialog.close();
    QCOMPARE(storedValues().last(), retriesEdit == QLatin1String("unfinished") ? 2850 : shown);
}

// Each damaged value reads as its default, not as the edge of its range, and
// closing the window repairs the store with what was shown.
void TestOptionsDialog::damagedStoreShowsDefaults()
{
    const QVariantList damaged = { 2000000000, -1, QStringLiteral("abc"), -5, 99, -4, -300 };
    const QList<int> defaults = { 25, 25, 3, 5, 2, 1, 60000 };
    for (int i = 0; i < damaged.size(); ++i)
        QSettings().setValue(QLatin1String(keys[i]), damaged.at(i));
    OptionsDialog dialog;
    dialog.open();
    for (int i = 0; i < defaults.size(); ++i)
        QVERIFY2(spinBox(dialog, fields[i])->value() == defaults.at(i), fields[i]);
    dialog.close();
    QCOMPARE(storedValues(), defaults);
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
