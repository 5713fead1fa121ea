#ifndef SENSORTABLEMODEL_H
#define SENSORTABLEMODEL_H

#include <QAbstractTableModel>

class LineSession;

// The sensors of the line as the sensor panel lists them, one row each,
// straight from the line session: address, serial number, firmware, the
// label the user types, how the sensor answered (coloured as the status
// indicator) and its link counts since the port was opened.
class SensorTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Address, Serial, Firmware, Label, State, Requests, Answered, NoAnswer, BadReplies, ColumnCount };

    explicit SensorTableModel(LineSession *session, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    LineSession *session;
};

#endif // SENSORTABLEMODEL_H
