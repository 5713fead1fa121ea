// The About dialog shows the identity the program is started with, the
// maker's logo and working links.

// The dialog's header needs its generated form; naming it here has the
// test's own build generate it, as the core library's copy is private.
#include "ui_aboutdialog.h"

#include "aboutdialog.h"
#include "resources.h"
#include "testenvironment.h"

#include <QtTest>

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerImageResources(); }
    void showsIdentityLogoAndLinks();

private:
    TestEnvironment environment;
};

void TestAboutDialog::showsIdentityLogoAndLinks()
{
    // The identity is followed, not baked into the form.
    QCoreApplication::setApplicationVersion(QStringLiteral("9.9.9"));
    AboutDialog dialog;
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0.3"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Kelvaset"));
    QCOMPARE(dialog.aboutTextLabel->text().section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("Kelvaset 9.9.9 for Kelvane configuration."));

    QVERIFY(!dialog.logoLabel->pixmap(Qt::ReturnByValue).isNull());

    // The links open in the desktop's browser and mail program.
    QVERIFY(dialog.aboutTextLabel_3->openExternalLinks());
    QVERIFY(dialog.aboutTextLabel_3->text().contains(QStringLiteral("href=\"https://www.orvanto.example\"")));
    QVERIFY(dialog.aboutTextLabel_3->text().contains(QStringLiteral("href=\"mailto:info@orvanto.example\"")));
}

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
