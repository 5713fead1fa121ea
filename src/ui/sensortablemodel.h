#ifndef SENSORTABLEMODEL_H
#define SENSORTABLEMODEL_H

#include <QAbstractTableModel>
#include <QVector>

class LineSession;

// The sensors of the line as the sensor panel lists them, one row each,
// straight from the line session: address, serial number, firmware, the
// label the user types, how the sensor answered (coloured as the status
// indicator), the live values of its last poll and when they were read
// (blank when it did not answer then), and its link counts since the port
// was opened.
class SensorTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Address, Serial, Firmware, Label, State, Irradiance, Temperature, Speed, ReadAt, Requests, Answered,
                  NoAnswer, BadReplies, ColumnCount };

    explicit SensorTableModel(LineSession *session, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    void rememberIds();

    LineSession *session;
    // The rows as the views know them, which a signal of the session has
    // already changed when it comes.
    int rows = 0;
    QVector<int> shownIds;
};

#endif // SENSORTABLEMODEL_H
