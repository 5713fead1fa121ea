#include "sensortablemodel.h"

#include "device/conversions.h"
#include "device/parametertable.h"
#include "session/linesession.h"

#include <QBrush>
#include <QColor>
#include <QLocale>

SensorTableModel::SensorTableModel(LineSession *session, QObject *parent)
    : QAbstractTableModel(parent)
    , session(session)
{
    // Rows come and go one at a time, so that the others keep their
    // selection; a replaced list is a new model.
    connect(session, &LineSession::sensorAdded, this, [this](int id) {
        const int row = this->session->rowOf(id);
        beginInsertRows(QModelIndex(), row, row);
        rows = this->session->sensors().size();
        endInsertRows();
    });
    connect(session, &LineSession::sensorRemoved, this, [this] {
        // The session has let the sensor go: the row gone is the one whose
        // identity the list no longer holds.
        int row = 0;
        while (row < shownIds.size() && this->session->rowOf(shownIds.at(row)) >= 0)
            ++row;
        beginRemoveRows(QModelIndex(), row, row);
        rows = this->session->sensors().size();
        endRemoveRows();
    });
    connect(session, &LineSession::sensorsChanged, this, [this] {
        if (rows == this->session->sensors().size()) {
            rememberIds();
            return;
        }
        beginResetModel();
        rows = this->session->sensors().size();
        endResetModel();
        rememberIds();
    });
    connect(session, &LineSession::sensorChanged, this, [this](int id) {
        const int row = this->session->rowOf(id);
        if (row >= 0)
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    });
    rows = session->sensors().size();
    rememberIds();
}

void SensorTableModel::rememberIds()
{
    shownIds.clear();
    for (const LineSensor &sensor : session->sensors())
        shownIds << sensor.id;
}

int SensorTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows;
}

int SensorTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SensorTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= session->sensors().size())
        return QVariant();
    const LineSensor &sensor = session->sensors().at(index.row());
    const bool differs = sensor.profileMatch == LineSensor::ProfileMatch::Differs;
    const bool faulty = sensor.serialMismatch() || sensor.state == LineSensor::State::NoAnswer
            || sensor.state == LineSensor::State::Error || differs;
    if (role == Qt::BackgroundRole && index.column() == State) {
        if (faulty)
            return QBrush(QColor(0xbb, 0, 0));
        if (sensor.state == LineSensor::State::Answered)
            return QBrush(QColor(0, 0xbb, 0));
        return QBrush(QColor(0xaa, 0xaa, 0xaa));
    }
    if (role == Qt::ToolTipRole && index.column() == State)
        return sensor.reason;
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    switch (index.column()) {
    case Address:
        return sensor.address;
    case Serial:
        return sensor.serialNumber ? QString::number(sensor.serialNumber)
                                   : sensor.expectedSerial ? QString::number(sensor.expectedSerial) : QString();
    case Firmware:
        return sensor.firmwareVersion ? firmwareText(sensor.firmwareVersion) : QString();
    case Label:
        return sensor.label;
    case State:
        if (sensor.serialMismatch())
            return tr("Serial number %1, not %2 as the project holds").arg(sensor.serialNumber)
                    .arg(sensor.expectedSerial);
        if (differs && sensor.state != LineSensor::State::NoAnswer && sensor.state != LineSensor::State::Error)
            return tr("Differs from the profile");
        switch (sensor.state) {
        case LineSensor::State::Answered:
            return tr("Answered");
        case LineSensor::State::NoAnswer:
            return tr("No answer: %1").arg(sensor.reason);
        case LineSensor::State::Error:
            return tr("Error: %1").arg(sensor.reason);
        case LineSensor::State::Unknown:
            return QString();
        }
        return QString();
    case Irradiance:
    case Temperature:
    case Speed: {
        // As the records give them: irradiance whole, temperature with 2
        // decimals, speed with 3.
        const int position = index.column() - Irradiance;
        const int at = sensor.lastIds.indexOf(liveIds[size_t(position)]);
        if (at < 0)
            return QVariant();
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale.toString(sensor.lastValues.at(at).output.toDouble(), 'f', position == 0 ? 0 : position + 1);
    }
    case ReadAt:
        return sensor.lastRead.isValid() ? sensor.lastRead.toString(QStringLiteral("HH:mm:ss")) : QString();
    case Requests:
        return sensor.counts.requests;
    case Answered:
        return sensor.counts.answered;
    case NoAnswer:
        return sensor.counts.noAnswer;
    case BadReplies:
        return sensor.counts.badReplies;
    default:
        return QVariant();
    }
}

QVariant SensorTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const char *const titles[ColumnCount] = { QT_TR_NOOP("Address"), QT_TR_NOOP("Serial number"),
                                              QT_TR_NOOP("Firmware"), QT_TR_NOOP("Label"), QT_TR_NOOP("State"),
                                              QT_TR_NOOP("W/m^2"), QT_TR_NOOP("\u00B0C"), QT_TR_NOOP("Speed"),
                                              QT_TR_NOOP("Read at"), QT_TR_NOOP("Requests"), QT_TR_NOOP("Answered"),
                                              QT_TR_NOOP("No answer"), QT_TR_NOOP("Bad replies") };
    return section >= 0 && section < ColumnCount ? tr(titles[section]) : QVariant();
}

Qt::ItemFlags SensorTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == Label)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool SensorTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || index.column() != Label || index.row() >= session->sensors().size())
        return false;
    session->setSensorLabel(session->sensors().at(index.row()).id, value.toString().trimmed());
    return true;
}
