#include "commissioningreport.h"

#include "device/versionedjson.h"
#include "link/serialline.h"
#include "ops/configurationreading.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

namespace {
const VersionedJsonKind reportKind = { "kelvaset-report", 1,
                                       QT_TRANSLATE_NOOP("VersionedJson", "commissioning report") };

const int statusIds[] = { IdFactoryCalConf, IdNotVolatilePars, IdDigInput, IdPT100Status, IdAnOutputStatus,
                          IdWatchdog };

QString tr(const char *text)
{
    return QCoreApplication::translate("CommissioningReport", text);
}

QString nameOf(int id)
{
    return QLatin1String(parameterDescriptor(id).name);
}

QString lineText(const CommissionedSensor &sensor)
{
    return QStringLiteral("%1 %2").arg(baudForCode(sensor.bitRateCode)).arg(framingName(sensor.framingCode));
}

QString liveTitle(int id)
{
    switch (id) {
    case IdIrradiance: return tr("Irradiance (W/m\u00B2)");
    case IdTemp: return tr("Temperature (\u00B0C)");
    default: return tr("Speed");
    }
}

// The live values the sensor's firmware has, in the plots' order.
QVector<int> liveIdsOf(const CommissionedSensor &sensor)
{
    return availableLiveIds(sensor.firmwareVersion());
}

QJsonObject statisticsJson(const SampleStatistics &statistics)
{
    const bool any = statistics.count() > 0;
    return QJsonObject{ { QStringLiteral("mean"), any ? QJsonValue(statistics.mean()) : QJsonValue() },
                        { QStringLiteral("minimum"), any ? QJsonValue(statistics.minimum()) : QJsonValue() },
                        { QStringLiteral("maximum"), any ? QJsonValue(statistics.maximum()) : QJsonValue() },
                        { QStringLiteral("samples"), double(statistics.count()) } };
}

QString number(const QVariant &value)
{
    return value.isValid() ? value.toString() : tr("none");
}

QString htmlRow(const QStringList &cells, const char *cellTag = "td")
{
    QString row = QStringLiteral("<tr>");
    for (const QString &cell : cells)
        row += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(cellTag), cell.toHtmlEscaped());
    return row + QStringLiteral("</tr>");
}

QString htmlTable(const QString &rows)
{
    return QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">%1</table>")
            .arg(rows);
}
}

void CommissionedSensor::commission(SensorLink &link, int snapshotMs, const std::function<void(Step)> &progress)
{
    if (progress)
        progress(Step::ReadingConfiguration);
    ConfigurationReading reading(address, CommissioningReport::sensorIds());
    reading.run(link);
    takeReading(reading);
    if (!answered)
        return;
    if (progress)
        progress(Step::SamplingLiveValues);
    live = LiveSnapshot::sample(link, address, firmwareVersion(), snapshotMs);
}

SensorSweep::Job CommissioningReport::sweepJob(std::shared_ptr<QVector<CommissionedSensor>> sensors, int snapshotMs,
                                              std::function<QString(CommissionedSensor::Step)> stepText)
{
    return [sensors, snapshotMs, stepText](SensorLink &link, int index, const SensorSweep::Progress &progress) {
        (*sensors)[index].commission(link, snapshotMs,
                                     [&](CommissionedSensor::Step step) { progress(stepText(step)); });
    };
}

void CommissionedSensor::takeReading(const ConfigurationReading &reading)
{
    readings = reading.readings();
    answered = !readings.isEmpty();
    if (readings.contains(IdSerialNumber))
        serialNumber = readings.value(IdSerialNumber).output.toUInt();
}

CommissioningReport::CommissioningReport()
    : programName(QCoreApplication::applicationName()),
      programVersion(QCoreApplication::applicationVersion()),
      time(QDateTime::currentDateTimeUtc())
{
}

QVector<int> CommissioningReport::sensorIds()
{
    QVector<int> ids{ IdSerialNumber, IdFWVersion };
    for (int id : statusIds)
        ids << id;
    return ids + SensorProfile::parameterIds();
}

QString CommissioningReport::baseFileName() const
{
    // Letters, digits and dashes only: no separators, nothing a shell or
    // another file system would take amiss; each run of others becomes one "_".
    // Every file system takes a name of 255 bytes, so the site gives at most
    // 100 characters and 200 bytes of UTF-8 to it (the full name stays in
    // the report). A character outside the BMP is no QChar letter, so each
    // QChar taken is a whole character and the cut never halves one.
    constexpr int LongestSite = 100;
    constexpr int LongestSiteBytes = 200;
    QString safeSite;
    int bytes = 0;
    for (const QChar c : site) {
        QChar next = QLatin1Char('_');
        if (c.isLetterOrNumber() || c == QLatin1Char('-'))
            next = c;
        else if (safeSite.isEmpty() || safeSite.endsWith(QLatin1Char('_')))
            continue;
        bytes += QString(next).toUtf8().size();
        if (safeSite.size() == LongestSite || bytes > LongestSiteBytes)
            break;
        safeSite += next;
    }
    if (safeSite.endsWith(QLatin1Char('_')))
        safeSite.chop(1);
    if (safeSite.isEmpty())
        safeSite = QStringLiteral("site");
    return QStringLiteral("%1_%2").arg(safeSite, time.toUTC().toString(QStringLiteral("yyyy-MM-dd")));
}

QVector<SensorProfile::Comparison> CommissioningReport::comparison(const CommissionedSensor &sensor) const
{
    if (!profile || !sensor.answered)
        return {};
    return profile->compare(ConfigurationReading::numbersOf(sensor.readings), sensor.firmwareVersion());
}

QString CommissioningReport::verdict(const CommissionedSensor &sensor) const
{
    if (!sensor.answered)
        return tr("Not answering");
    if (!profile)
        return tr("No profile to compare with");
    QStringList differing;
    for (const SensorProfile::Comparison &row : SensorProfile::differences(comparison(sensor)))
        differing << tr("%1 (profile %2, sensor %3)").arg(row.name, number(row.profileValue), number(row.sensorValue));
    if (differing.isEmpty())
        return tr("Configuration matches the profile");
    return tr("Configuration differs from the profile: %1").arg(differing.join(QLatin1String(", ")));
}

bool CommissioningReport::writeJson(const QString &path, QString *error) const
{
    QJsonArray sensorList;
    for (const CommissionedSensor &sensor : sensors) {
        QJsonObject object{
            { QStringLiteral("address"), sensor.address },
            { QStringLiteral("label"), sensor.label },
            { QStringLiteral("serialNumber"), double(sensor.serialNumber) },
            { QStringLiteral("bitRate"), QString::number(baudForCode(sensor.bitRateCode)) },
            { QStringLiteral("framing"), framingName(sensor.framingCode) },
            { QStringLiteral("answered"), sensor.answered },
            { QStringLiteral("verdict"), verdict(sensor) },
        };
        if (sensor.answered) {
            object.insert(QStringLiteral("firmware"), sensor.readings.value(IdFWVersion).display.toString());
            QJsonObject status;
            for (int id : statusIds)
                status.insert(nameOf(id), QJsonValue::fromVariant(sensor.readings.value(id).display));
            object.insert(QStringLiteral("status"), status);
            QJsonObject configuration;
            for (int id : SensorProfile::parameterIds()) {
                if (sensor.readings.contains(id))
                    configuration.insert(nameOf(id), QJsonValue::fromVariant(sensor.readings.value(id).output));
            }
            object.insert(QStringLiteral("configuration"), configuration);
            if (profile) {
                QJsonObject matches;
                for (const SensorProfile::Comparison &row : comparison(sensor))
                    matches.insert(row.name, row.matches);
                object.insert(QStringLiteral("profileMatch"), matches);
            }
            QJsonObject live;
            for (int id : liveIdsOf(sensor))
                live.insert(nameOf(id), statisticsJson(sensor.live.statistics.value(id)));
            live.insert(QStringLiteral("failedSamples"), double(sensor.live.failedSamples));
            object.insert(QStringLiteral("live"), live);
        }
        sensorList.append(object);
    }
    const QJsonObject content{
        { QStringLiteral("site"), site },
        { QStringLiteral("technician"), technician },
        { QStringLiteral("note"), note },
        { QStringLiteral("program"), QJsonObject{ { QStringLiteral("name"), programName },
                                                  { QStringLiteral("version"), programVersion } } },
        { QStringLiteral("time"), time.toUTC().toString(Qt::ISODate) },
        { QStringLiteral("profile"), profile ? QJsonValue(profile->name()) : QJsonValue() },
        { QStringLiteral("sensors"), sensorList },
    };
    return saveVersionedJson(path, reportKind, content, error);
}

bool CommissioningReport::writePdf(const QString &path, QString *error) const
{
    const QString title = tr("Commissioning report");
    QString html = QStringLiteral("<h1>%1</h1>").arg(title.toHtmlEscaped());
    html += htmlTable(htmlRow({ tr("Site"), site }) + htmlRow({ tr("Technician"), technician })
                      + htmlRow({ tr("Time (UTC)"), time.toUTC().toString(Qt::ISODate) })
                      + htmlRow({ tr("Program"), programName + QLatin1Char(' ') + programVersion })
                      + htmlRow({ tr("Profile"), profile ? profile->name() : tr("none") })
                      + htmlRow({ tr("Note"), note }));
    for (const CommissionedSensor &sensor : sensors) {
        const QString heading = sensor.label.isEmpty()
                ? tr("Sensor %1 at address %2").arg(sensor.serialNumber).arg(sensor.address)
                : tr("Sensor %1 at address %2 (%3)").arg(sensor.serialNumber).arg(sensor.address).arg(sensor.label);
        html += QStringLiteral("<h2>%1</h2><p><b>%2</b></p>").arg(heading.toHtmlEscaped(),
                                                                   verdict(sensor).toHtmlEscaped());
        QString facts = htmlRow({ tr("Serial number"), QString::number(sensor.serialNumber) })
                + htmlRow({ tr("Address"), QString::number(sensor.address) })
                + htmlRow({ tr("Line"), lineText(sensor) })
                + htmlRow({ tr("Answered"), sensor.answered ? tr("yes") : tr("no") });
        if (sensor.answered) {
            facts += htmlRow({ tr("Firmware"), sensor.readings.value(IdFWVersion).display.toString() });
            for (int id : statusIds)
                facts += htmlRow({ nameOf(id), sensor.readings.value(id).display.toString() });
        }
        html += htmlTable(facts);
        if (!sensor.answered)
            continue;

        QString configuration;
        if (profile) {
            configuration = htmlRow({ tr("Parameter"), tr("Sensor"), tr("Profile"), tr("Match") }, "th");
            for (const SensorProfile::Comparison &row : comparison(sensor))
                configuration += htmlRow({ row.name, number(row.sensorValue), number(row.profileValue),
                                           row.matches ? tr("yes") : tr("NO") });
        } else {
            configuration = htmlRow({ tr("Parameter"), tr("Sensor") }, "th");
            for (int id : SensorProfile::parameterIds()) {
                if (sensor.readings.contains(id))
                    configuration += htmlRow({ nameOf(id), number(sensor.readings.value(id).output) });
            }
        }
        html += QStringLiteral("<h3>%1</h3>").arg(tr("Configuration").toHtmlEscaped()) + htmlTable(configuration);

        QString live = htmlRow({ tr("Value"), tr("Mean"), tr("Minimum"), tr("Maximum"), tr("Samples") }, "th");
        for (int id : liveIdsOf(sensor)) {
            const SampleStatistics statistics = sensor.live.statistics.value(id);
            const auto shown = [&](double value) {
                return statistics.count() > 0 ? QString::number(value, 'f', 2) : QStringLiteral("-");
            };
            live += htmlRow({ liveTitle(id), shown(statistics.mean()), shown(statistics.minimum()),
                              shown(statistics.maximum()), QString::number(statistics.count()) });
        }
        html += QStringLiteral("<h3>%1</h3>").arg(tr("Live values").toHtmlEscaped()) + htmlTable(live)
                + QStringLiteral("<p>%1</p>").arg(tr("Samples that failed: %1").arg(sensor.live.failedSamples));
    }

    QTextDocument document;
    document.setHtml(html);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = tr("Cannot save %1: %2").arg(path, file.errorString());
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setTitle(title);
        writer.setCreator(programName);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        document.print(&writer);
    }
    if (!file.commit()) {
        *error = tr("Cannot save %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
