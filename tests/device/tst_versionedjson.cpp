#include "device/versionedjson.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const VersionedJsonKind kind = { "kelvaset-test", 2, "test document" };
}

// The one loader and writer of every versioned document the program keeps.
class TestVersionedJson : public QObject
{
    Q_OBJECT

    QTemporaryDir directory;

    QString fileWith(const QByteArray &content)
    {
        const QString path = directory.filePath(QStringLiteral("document.json"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void savedDocumentLoadsBack()
    {
        const QString path = directory.filePath(QStringLiteral("saved.json"));
        QString error;
        QVERIFY(saveVersionedJson(path, kind, QJsonObject{ { "answer", 42 } }, &error));
        QJsonObject loaded;
        QVERIFY2(loadVersionedJson(path, kind, &loaded, &error), qPrintable(error));
        QCOMPARE(loaded, (QJsonObject{ { "format", "kelvaset-test" }, { "version", 2 }, { "answer", 42 } }));

        // A folder that does not exist: refused, with the file named.
        const QString nowhere = directory.filePath(QStringLiteral("missing/saved.json"));
        QVERIFY(!saveVersionedJson(nowhere, kind, {}, &error));
        QVERIFY2(error.contains(nowhere), qPrintable(error));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("damaged, with the offset") << QByteArray("{\"format\": \"kelvaset-test\",\n oops}")
                                                  << QStringList{ "damaged", "byte 30" };
        QTest::newRow("another kind") << QByteArray(R"({"format": "kelvaset-other", "version": 1})")
                                      << QStringList{ "not a Kelvaset test document" };
        QTest::newRow("no format") << QByteArray(R"({"version": 1})") << QStringList{ "not a Kelvaset" };
        QTest::newRow("not an object") << QByteArray(R"(["kelvaset-test", 1])") << QStringList{ "not a Kelvaset" };
        QTest::newRow("no version") << QByteArray(R"({"format": "kelvaset-test"})")
                                    << QStringList{ "no valid format version" };
        QTest::newRow("newer") << QByteArray(R"({"format": "kelvaset-test", "version": 3})")
                               << QStringList{ "newer version of Kelvaset (format version 3)", "reads up to 2" };
    }
    void refusals()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, told);
        const QString path = fileWith(content);
        const QJsonObject untouched{ { "kept", true } };
        QJsonObject object = untouched;
        QString error;
        QVERIFY(!loadVersionedJson(path, kind, &object, &error));
        QCOMPARE(object, untouched);
        for (const QString &part : told)
            QVERIFY2(error.contains(part) && error.contains(path), qPrintable(error));
    }

    void unreadableFileIsNamed()
    {
        const QString path = directory.filePath(QStringLiteral("absent.json"));
        QJsonObject object;
        QString error;
        QVERIFY(!loadVersionedJson(path, kind, &object, &error));
        QVERIFY2(error.contains(path), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestVersionedJson)
#include "tst_versionedjson.moc"
