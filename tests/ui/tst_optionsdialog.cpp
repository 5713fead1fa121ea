// The options dialog is run as the main window runs it (a modal exec()),
// against an isolated settings store, and judged by what ends up stored.

#include "optionsdialog.h"
#include "testenvironment.h"

#include <QtTest>

#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

#include <functional>

namespace {

// Counts the close events a widget receives, to tell a close from a hide.
class CloseEventCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

QVariant stored(const QString &key)
{
    return QSettings().value(key);
}

void store(const QVariantMap &values)
{
    QSettings settings;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
}

} // namespace

class TestOptionsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void storesOnlyOnClose_data();
    void storesOnlyOnClose();
    void defaultsShowMinimumOf540();
    void finishingTimingEditRaisesMinimum_data();
    void finishingTimingEditRaisesMinimum();
    void closeAppliesUnfinishedTimingEdit();
    void storedReadTimeBelowMinimumIsRaised();
    void showingAgainRereadsStore();
    void damagedStoreShowsValuesInRange_data();
    void damagedStoreShowsValuesInRange();

private:
    // Runs the dialog modally, as the main window does, and lets the user's
    // part happen inside its event loop.
    int runDialog(const std::function<void(OptionsDialog &)> &user);
    static QSpinBox *spinBox(QDialog &dialog, const char *name);
    static void finishEditing(QSpinBox *box, int value);

    TestEnvironment environment;
};

void TestOptionsDialog::init()
{
    environment.clearSettings();
}

int TestOptionsDialog::runDialog(const std::function<void(OptionsDialog &)> &user)
{
    OptionsDialog dialog;
    QTimer::singleShot(0, &dialog, [&] {
        user(dialog);
        // A failed check returns early from the user's part; do not leave
        // the test hanging in the dialog's event loop.
        if (dialog.isVisible())
            dialog.reject();
    });
    return dialog.exec();
}

QSpinBox *TestOptionsDialog::spinBox(QDialog &dialog, const char *name)
{
    QSpinBox *box = dialog.findChild<QSpinBox *>(QLatin1String(name));
    if (!box)
        qFatal("The options dialog has no spin box %s", name);
    return box;
}

// Types a new value into the field and then leaves it, as a user does.
void TestOptionsDialog::finishEditing(QSpinBox *box, int value)
{
    QDialog *dialog = qobject_cast<QDialog *>(box->window());
    QApplication::setActiveWindow(dialog);
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::number(value));
    QCOMPARE(box->value(), value);
    QTest::keyClick(box, Qt::Key_Tab);
    QVERIFY(!box->hasFocus());
}

void TestOptionsDialog::storesOnlyOnClose_data()
{
    QTest::addColumn<QString>("dismissal");
    QTest::addColumn<bool>("expectStored");

    QTest::newRow("Close button") << "button" << true;
    QTest::newRow("window close") << "close" << true;
    QTest::newRow("Escape") << "escape" << false;
}

void TestOptionsDialog::storesOnlyOnClose()
{
    QFETCH(QString, dismissal);
    QFETCH(bool, expectStored);

    CloseEventCounter closeEvents;
    bool storedWhileOpen = true;
    runDialog([&](OptionsDialog &dialog) {
        dialog.installEventFilter(&closeEvents);
        QVERIFY(dialog.isVisible());
        spinBox(dialog, "requestTimeSpinBox")->setValue(40);
        spinBox(dialog, "responseTimeSpinBox")->setValue(60);
        spinBox(dialog, "maxRetriesSpinBox")->setValue(4);
        spinBox(dialog, "incrementalTimeSpinBox")->setValue(7);
        spinBox(dialog, "speedPrecisionSpinBox")->setValue(5);
        spinBox(dialog, "temperaturePrecisionSpinBox")->setValue(0);
        spinBox(dialog, "maxReadTimeSpinBox")->setValue(12345);
        storedWhileOpen = !QSettings().allKeys().isEmpty();

        if (dismissal == QLatin1String("button"))
            QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("closePushButton")), Qt::LeftButton);
        else if (dismissal == QLatin1String("close"))
            dialog.close();
        else
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &dialog, Qt::Key_Escape);
    });

    QVERIFY(!storedWhileOpen);
    QCOMPARE(closeEvents.count, expectStored ? 1 : 0);
    if (!expectStored) {
        QCOMPARE(QSettings().allKeys(), QStringList());
        return;
    }
    QCOMPARE(stored("comConfig/requestTimeMs").toInt(), 40);
    QCOMPARE(stored("comConfig/responseTimeMs").toInt(), 60);
    QCOMPARE(stored("comConfig/maxRetries").toInt(), 4);
    QCOMPARE(stored("comConfig/incrementalTimeMs").toInt(), 7);
    QCOMPARE(stored("userConfig/speedPrecision").toInt(), 5);
    QCOMPARE(stored("userConfig/temperaturePrecision").toInt(), 0);
    QCOMPARE(stored("userConfig/maxReadTime").toInt(), 12345);
    // The reading period belongs to the main window, not to the dialog.
    QVERIFY(!QSettings().contains(QStringLiteral("userConfig/readTimer")));

    // The next use shows what the last one stored.
    runDialog([](OptionsDialog &dialog) {
        QCOMPARE(spinBox(dialog, "requestTimeSpinBox")->value(), 40);
        QCOMPARE(spinBox(dialog, "maxRetriesSpinBox")->value(), 4);
        QCOMPARE(spinBox(dialog, "temperaturePrecisionSpinBox")->value(), 0);
        QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->value(), 12345);
        dialog.reject();
    });
}

void TestOptionsDialog::defaultsShowMinimumOf540()
{
    runDialog([](OptionsDialog &dialog) {
        QCOMPARE(spinBox(dialog, "requestTimeSpinBox")->value(), 25);
        QCOMPARE(spinBox(dialog, "responseTimeSpinBox")->value(), 25);
        QCOMPARE(spinBox(dialog, "maxRetriesSpinBox")->value(), 3);
        QCOMPARE(spinBox(dialog, "incrementalTimeSpinBox")->value(), 5);
        QCOMPARE(spinBox(dialog, "speedPrecisionSpinBox")->value(), 2);
        QCOMPARE(spinBox(dialog, "temperaturePrecisionSpinBox")->value(), 1);
        // Three live values, each up to 25 + 25, 35 + 35 and 45 + 45 ms.
        QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->minimum(), 540);
        QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->value(), 60000);
        dialog.close();
    });
    QCOMPARE(stored("userConfig/maxReadTime").toInt(), 60000);
}

void TestOptionsDialog::finishingTimingEditRaisesMinimum_data()
{
    QTest::addColumn<int>("storedMaxReadTime");
    QTest::addColumn<int>("expectedMaxReadTime");

    QTest::newRow("smaller read time raised") << 1000 << 2850;
    QTest::newRow("larger read time kept") << 60000 << 60000;
}

void TestOptionsDialog::finishingTimingEditRaisesMinimum()
{
    QFETCH(int, storedMaxReadTime);
    QFETCH(int, expectedMaxReadTime);

    store({ { "userConfig/maxReadTime", storedMaxReadTime } });
    runDialog([&](OptionsDialog &dialog) {
        QSpinBox *maxReadTime = spinBox(dialog, "maxReadTimeSpinBox");
        QCOMPARE(maxReadTime->value(), storedMaxReadTime);

        finishEditing(spinBox(dialog, "maxRetriesSpinBox"), 10);
        // 3 x (10 x (25 + 25) + 2 x 5 x (0 + 1 + ... + 9))
        QCOMPARE(maxReadTime->minimum(), 2850);
        QCOMPARE(maxReadTime->value(), expectedMaxReadTime);

        // Lowering a timing again lowers the minimum but leaves the value.
        finishEditing(spinBox(dialog, "incrementalTimeSpinBox"), 0);
        QCOMPARE(maxReadTime->minimum(), 1500);
        QCOMPARE(maxReadTime->value(), expectedMaxReadTime);
        dialog.close();
    });
    QCOMPARE(stored("comConfig/maxRetries").toInt(), 10);
    QCOMPARE(stored("userConfig/maxReadTime").toInt(), expectedMaxReadTime);
}

// Closing straight after changing a timing, without leaving its field, must
// not store a maximum read time the new timings cannot meet.
void TestOptionsDialog::closeAppliesUnfinishedTimingEdit()
{
    store({ { "userConfig/maxReadTime", 1000 } });
    runDialog([](OptionsDialog &dialog) {
        spinBox(dialog, "maxRetriesSpinBox")->setValue(10);
        dialog.close();
    });
    QCOMPARE(stored("comConfig/maxRetries").toInt(), 10);
    QCOMPARE(stored("userConfig/maxReadTime").toInt(), 2850);
}

void TestOptionsDialog::storedReadTimeBelowMinimumIsRaised()
{
    store({ { "userConfig/maxReadTime", 300 } });
    runDialog([](OptionsDialog &dialog) {
        QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->value(), 540);
        dialog.close();
    });
    QCOMPARE(stored("userConfig/maxReadTime").toInt(), 540);
}

// Whatever a previous showing left in the form, a new showing starts from
// the store alone, including the minimum the stored timings give.
void TestOptionsDialog::showingAgainRereadsStore()
{
    store({ { "userConfig/maxReadTime", 1000 } });
    OptionsDialog dialog;
    QSpinBox *maxReadTime = spinBox(dialog, "maxReadTimeSpinBox");

    dialog.show();
    finishEditing(spinBox(dialog, "maxRetriesSpinBox"), 10);
    QCOMPARE(maxReadTime->value(), 2850);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());

    dialog.show();
    QCOMPARE(spinBox(dialog, "maxRetriesSpinBox")->value(), 3);
    QCOMPARE(maxReadTime->minimum(), 540);
    QCOMPARE(maxReadTime->value(), 1000);
    dialog.close();
    QCOMPARE(stored("userConfig/maxReadTime").toInt(), 1000);
}

void TestOptionsDialog::damagedStoreShowsValuesInRange_data()
{
    QTest::addColumn<QVariantMap>("settings");
    // request, response, retries, increment, speed decimals, temperature
    // decimals, max read time, its minimum
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("retries not a number")
            << QVariantMap { { "comConfig/maxRetries", "abc" } }
            << QList<int> { 25, 25, 1, 5, 2, 1, 60000, 150 };
    QTest::newRow("a million retries")
            << QVariantMap { { "comConfig/maxRetries", 1000000 } }
            << QList<int> { 25, 25, 10, 5, 2, 1, 60000, 2850 };
    QTest::newRow("negative times")
            << QVariantMap { { "comConfig/requestTimeMs", -25 }, { "comConfig/responseTimeMs", -1 },
                             { "comConfig/incrementalTimeMs", -5 }, { "userConfig/maxReadTime", -300 } }
            << QList<int> { 1, 1, 3, 0, 2, 1, 100, 100 };
    QTest::newRow("huge times")
            << QVariantMap { { "comConfig/requestTimeMs", 2000000000 }, { "comConfig/responseTimeMs", 99999 },
                             { "comConfig/maxRetries", 10 }, { "comConfig/incrementalTimeMs", 2000000000 } }
            << QList<int> { 5000, 5000, 10, 500, 2, 1, 435000, 435000 };
    QTest::newRow("precisions out of range")
            << QVariantMap { { "userConfig/speedPrecision", 99 }, { "userConfig/temperaturePrecision", -4 } }
            << QList<int> { 25, 25, 3, 5, 6, 0, 60000, 540 };
}

void TestOptionsDialog::damagedStoreShowsValuesInRange()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QList<int>, expected);

    store(settings);
    const char *names[] = { "requestTimeSpinBox", "responseTimeSpinBox", "maxRetriesSpinBox",
                            "incrementalTimeSpinBox", "speedPrecisionSpinBox",
                            "temperaturePrecisionSpinBox", "maxReadTimeSpinBox" };
    runDialog([&](OptionsDialog &dialog) {
        for (int i = 0; i < 7; ++i)
            QVERIFY2(spinBox(dialog, names[i])->value() == expected.at(i), names[i]);
        QCOMPARE(spinBox(dialog, "maxReadTimeSpinBox")->minimum(), expected.at(7));
        dialog.close();
    });

    // Closing repairs the store with what was shown.
    QCOMPARE(stored("comConfig/requestTimeMs").toInt(), expected.at(0));
    QCOMPARE(stored("comConfig/responseTimeMs").toInt(), expected.at(1));
    QCOMPARE(stored("comConfig/maxRetries").toInt(), expected.at(2));
    QCOMPARE(stored("comConfig/incrementalTimeMs").toInt(), expected.at(3));
    QCOMPARE(stored("userConfig/speedPrecision").toInt(), expected.at(4));
    QCOMPARE(stored("userConfig/temperaturePrecision").toInt(), expected.at(5));
    QCOMPARE(stored("userConfig/maxReadTime").toInt(), expected.at(6));
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
