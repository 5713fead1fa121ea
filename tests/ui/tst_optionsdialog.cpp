// The options dialog is run as the main window runs it (a modal exec()),
// against an isolated settings store, and judged by what ends up stored.

#include "optionsdialog.h"
#include "testenvironment.h"

#include <QtTest>

#include <QSpinBox>

#include <functional>

namespace {

QSpinBox *spinBox(QDialog &dialog, const char *name)
{
    QSpinBox *box = dialog.findChild<QSpinBox *>(QLatin1String(name));
    if (!box)
        qFatal("The options dialog has no spin box %s", name);
    return box;
}

// Runs the dialog modally with the user's part inside its event loop; a
// failed check returns early, so the dialog is rejected if still open.
void runDialog(const std::function<void(OptionsDialog &)> &user)
{
    OptionsDialog dialog;
    QTimer::singleShot(0, &dialog, [&] {
        user(dialog);
        if (dialog.isVisible())
            dialog.reject();
    });
    dialog.exec();
}

int stored(const char *key)
{
    return QSettings().value(QLatin1String(key)).toInt();
}

const char *const fields[] = { "requestTimeSpinBox", "responseTimeSpinBox", "maxRetriesSpinBox",
                               "incrementalTimeSpinBox", "speedPrecisionSpinBox",
                               "temperaturePrecisionSpinBox", "maxReadTimeSpinBox" };
const char *const keys[] = { "comConfig/requestTimeMs", "comConfig/responseTimeMs", "comConfig/maxRetries",
                             "comConfig/incrementalTimeMs", "userConfig/speedPrecision",
                             "userConfig/temperaturePrecision", "userConfig/maxReadTime" };

} // namespace

class TestOptionsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init() { environment.clearSettings(); }
    void storesOnlyOnClose_data();
    void storesOnlyOnClose();
    void readTimeMinimumFollowsTimings_data();
    void readTimeMinimumFollowsTimings();
    void damagedStoreShowsDefaults();

private:
    TestEnvironment environment;
};

void TestOptionsDialog::storesOnlyOnClose_data()
{
    QTest::addColumn<QString>("dismissal");
    QTest::newRow("Close button") << "button";
    QTest::newRow("window close") << "close";
    QTest::newRow("Escape") << "escape";
}

void TestOptionsDialog::storesOnlyOnClose()
{
    QFETCH(QString, dismissal);
    const QList<int> entered = { 40, 60, 4, 7, 5, 0, 12345 };
    bool storedWhileOpen = true;
    runDialog([&](OptionsDialog &dialog) {
        for (int i = 0; i < entered.size(); ++i)
            spinBox(dialog, fields[i])->setValue(entered.at(i));
        storedWhileOpen = !QSettings().allKeys().isEmpty();
        if (dismissal == QLatin1String("button"))
            QTest::mouseClick(dialog.findChild<QWidget *>(QStringLiteral("closePushButton")), Qt::LeftButton);
        else if (dismissal == QLatin1String("close"))
            dialog.close();
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QVERIFY(!storedWhileOpen);
    if (dismissal == QLatin1String("escape"))
        QCOMPARE(QSettings().allKeys(), QStringList());
    for (int i = 0; dismissal != QLatin1String("escape") && i < entered.size(); ++i)
        QVERIFY2(stored(keys[i]) == entered.at(i), keys[i]);
    // The reading period belongs to the main window, not to the dialog.
    QVERIFY(!QSettings().contains(QStringLiteral("userConfig/readTimer")));
}

void TestOptionsDialog::readTimeMinimumFollowsTimings_data()
{
    QTest::addColumn<int>("storedMaxReadTime");
    QTest::addColumn<QString>("retriesEdit");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("shown");
    // Three live values at up to 25 + 25, 35 + 35 and 45 + 45 ms give 540;
    // 3 x (10 x (25 + 25) + 2 x 5 x (0 + 1 + ... + 9)) gives 2850.
    QTest::newRow("stored below minimum") << 300 << "none" << 540 << 540;
    QTest::newRow("10 retries raise a smaller maximum") << 1000 << "finished" << 2850 << 2850;
    QTest::newRow("10 retries keep a larger maximum") << 60000 << "finished" << 2850 << 60000;
    // Closing straight after typing, without leaving the field, must not
    // store a maximum the new timings cannot meet.
    QTest::newRow("closed while editing") << 1000 << "unfinished" << 540 << 1000;
}

void TestOptionsDialog::readTimeMinimumFollowsTimings()
{
    QFETCH(QString, retriesEdit);
    QFETCH(int, shown);
    QFETCH(int, storedMaxReadTime);
    QSettings().setValue(QStringLiteral("userConfig/maxReadTime"), storedMaxReadTime);
    runDialog([&](OptionsDialog &dialog) {
        QSpinBox *retries = spinBox(dialog, "maxRetriesSpinBox");
        if (retriesEdit != QLatin1String("none"))
            retries->setValue(10);
        if (retriesEdit == QLatin1String("finished"))
            emit retries->editingFinished();    // as when the user leaves the field
        QTEST(spinBox(dialog, "maxReadTimeSpinBox")->minimum(), "minimum");
        QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->value(), shown);
        dialog.close();
    });
    QCOMPARE(stored("comConfig/maxRetries"), retriesEdit == QLatin1String("none") ? 3 : 10);
    QCOMPARE(stored("userConfig/maxReadTime"), retriesEdit == QLatin1String("unfinished") ? 2850 : shown);
}

void TestOptionsDialog::damagedStoreShowsDefaults()
{
    const QVariantList damaged = { 2000000000, -1, QStringLiteral("abc"), -5, 99, -4, -300 };
    for (int i = 0; i < damaged.size(); ++i)
        QSettings().setValue(QLatin1String(keys[i]), damaged.at(i));
    // Each damaged value reads as its default, not as the edge of its range,
    // and closing repairs the store with what was shown.
    const QList<int> expected = { 25, 25, 3, 5, 2, 1, 60000 };
    runDialog([&](OptionsDialog &dialog) {
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(spinBox(dialog, fields[i])->value() == expected.at(i), fields[i]);
        dialog.close();
    });
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(stored(keys[i]) == expected.at(i), keys[i]);
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
