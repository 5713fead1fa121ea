// The About dialog shows the identity the program is started with, the
// maker's logo and working links.

// The dialog's header needs its generated form; naming it here has the
// test's own build generate it, as the core library's copy is private.
#include "ui_aboutdialog.h"

#include "aboutdialog.h"
#include "resources.h"
#include "testenvironment.h"

#include <QtTest>

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>

// Stands in for the desktop's browser and mail program.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void showsIdentity();
    void showsLogoAndIcon();
    void okAcceptsAndEscapeRejects();
    void linksOpenInDesktopHandler_data();
    void linksOpenInDesktopHandler();

private:
    TestEnvironment environment;
    UrlCatcher urlCatcher;
};

void TestAboutDialog::initTestCase()
{
    registerImageResources();
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &urlCatcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &urlCatcher, "open");
}

void TestAboutDialog::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
}

void TestAboutDialog::showsIdentity()
{
    AboutDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Kelvaset"));
    const QStringList lines = dialog.aboutTextLabel->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QStringLiteral("Kelvaset 2.0.3 for Kelvane configuration."));
    QVERIFY(lines.at(1).isEmpty());
    QVERIFY(lines.at(2).contains(QStringLiteral("Orvanto")));
    QCOMPARE(dialog.aboutAddressTextLabel->text().split(QLatin1Char('\n')).size(), 4);
    QCOMPARE(dialog.aboutAddressTextLabel->font().pointSize(), 13);

    // A different identity is followed, not baked into the form.
    QCoreApplication::setApplicationVersion(QStringLiteral("9.9.9"));
    AboutDialog other;
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0.3"));
    QVERIFY(other.aboutTextLabel->text().startsWith(QStringLiteral("Kelvaset 9.9.9 for")));
}

void TestAboutDialog::showsLogoAndIcon()
{
    AboutDialog dialog;
    const QPixmap logo = dialog.logoLabel->pixmap(Qt::ReturnByValue);
    QVERIFY(!logo.isNull());
    QCOMPARE(logo.size(), QSize(381, 109));
    QVERIFY(dialog.logoLabel->hasScaledContents());
    QCOMPARE(dialog.logoLabel->maximumSize(), QSize(381, 109));
    QVERIFY(!dialog.windowIcon().isNull());
    QVERIFY(!dialog.windowIcon().availableSizes().isEmpty());
}

void TestAboutDialog::okAcceptsAndEscapeRejects()
{
    AboutDialog dialog;
    QCOMPARE(dialog.closeButton->text(), QStringLiteral("OK"));
    QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.closeButton, Qt::LeftButton); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));

    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

void TestAboutDialog::linksOpenInDesktopHandler_data()
{
    QTest::addColumn<QUrl>("url");

    QTest::newRow("website") << QUrl(QStringLiteral("https://www.orvanto.example"));
    QTest::newRow("e-mail") << QUrl(QStringLiteral("mailto:info@orvanto.example"));
}

// Clicks each link as a user would: find where the label shows a link (the
// pointer turns into a hand there) and click it.
void TestAboutDialog::linksOpenInDesktopHandler()
{
    QFETCH(QUrl, url);

    AboutDialog dialog;
    QLabel *links = dialog.aboutTextLabel_3;
    QVERIFY(links->openExternalLinks());
    QVERIFY(links->textInteractionFlags() & Qt::LinksAccessibleByMouse);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    urlCatcher.opened.clear();
    for (int y = 1; y < links->height() && urlCatcher.opened.isEmpty(); y += 2) {
        for (int x = 1; x < links->width() && urlCatcher.opened.isEmpty(); x += 4) {
            QTest::mouseMove(links, QPoint(x, y));
            if (links->cursor().shape() != Qt::PointingHandCursor)
                continue;
            QTest::mouseClick(links, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
            if (!urlCatcher.opened.isEmpty() && urlCatcher.opened.constLast() != url)
                urlCatcher.opened.clear();
        }
    }
    QCOMPARE(urlCatcher.opened, QList<QUrl> { url });
}

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
