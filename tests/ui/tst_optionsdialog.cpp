// The options dialog is opened modally, as the main window opens it, against
// an isolated settings store, and judged by what ends up stored.

#include "optionsdialog.h"
#include "session/settingsstore.h"
#include "testenvironment.h"

#include <QtTest>

#include <QSpinBox>

// The dialog's fields and where each is stored, in the same order.
static const char *const fields[] = { "requestTimeSpinBox", "responseTimeSpinBox", "maxRetriesSpinBox",
                                      "incrementalTimeSpinBox", "speedPrecisionSpinBox",
                                      "temperaturePrecisionSpinBox", "maxReadTimeSpinBox" };
static const char *const keys[] = { "comConfig/requestTimeMs", "comConfig/responseTimeMs", "comConfig/maxRetries",
                                    "comConfig/incrementalTimeMs", "userConfig/speedPrecision",
                                    "userConfig/temperaturePrecision", "userConfig/maxReadTime" };

static QSpinBox *spinBox(QDialog &dialog, const char *name)
{
    if (QSpinBox *box = dialog.findChild<QSpinBox *>(QLatin1String(name)))
        return box;
    qFatal("The options dialog has no spin box %s", name);
}

static QList<int> storedValues()
{
    QList<int> values;
    for (const char *key : keys)
        values << QSettings().value(QLatin1String(key)).toInt();
    return values;
}

class TestOptionsDialog : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

private slots:
    void init() { environment.clearSettings(); }

    // Nothing is stored while the dialog is open, nor when Escape leaves it
    // (the second round would see it); the Close button stores every field.
    void storesOnlyOnClose()
    {
        const QList<int> entered = { 40, 60, 4, 7, 5, 0, 12345 };
        for (const bool escape : { true, false }) {
            SettingsStore store;
            OptionsDialog dialog(&store);
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

    void readTimeMinimumFollowsTimings()
    {
        // Three live values at up to 25 + 25, 35 + 35 and 45 + 45 ms give 540;
        // 3 x (10 x (25 + 25) + 2 x 5 x (0 + 1 + ... + 9)) gives 2850. A stored
        // maximum below the minimum shows as the minimum. Closing straight
        // after typing 10 retries, without leaving the field, must not store
        // a maximum the new timings cannot meet.
        const struct { int storedMax, typedRetries; bool leftField; int minimum, shown, storedOnClose; } cases[] = {
            { 300, 0, false, 540, 540, 540 }, { 1000, 10, true, 2850, 2850, 2850 },
            { 60000, 10, true, 2850, 60000, 60000 }, { 1000, 10, false, 540, 1000, 2850 } };
        for (const auto &c : cases) {
            init();
            QSettings().setValue(QLatin1String(keys[6]), c.storedMax);
            SettingsStore store;
            OptionsDialog dialog(&store);
            dialog.open();
            QSpinBox *retries = spinBox(dialog, "maxRetriesSpinBox");
            if (c.typedRetries)
                retries->setValue(c.typedRetries);
            if (c.leftField)
                emit retries->editingFinished();    // as when the user leaves the field
            QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->minimum(), c.minimum);
            QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->value(), c.shown);
            dialog.close();
            QCOMPARE(storedValues().last(), c.storedOnClose);
        }
    }

    // Each damaged value reads as its default, not as the edge of its range:
    // closing the window stores what was shown (storesOnlyOnClose shows that
    // closing stores the fields as they stand), which repairs the store.
    void damagedStoreShowsDefaults()
    {
        const QVariantList damaged = { 2000000000, -1, QStringLiteral("abc"), -5, 99, -4, -300 };
        for (int i = 0; i < damaged.size(); ++i)
            QSettings().setValue(QLatin1String(keys[i]), damaged.at(i));
        SettingsStore store;
        OptionsDialog dialog(&store);
        dialog.open();
        dialog.close();
        QCOMPARE(storedValues(), QList<int>({ 25, 25, 3, 5, 2, 1, 60000 }));
    }
};

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
