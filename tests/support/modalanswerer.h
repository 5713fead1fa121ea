#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

// Watches for modal message boxes while a test drives the window, records
// each box's title and text and answers it with its default button (or
// Escape), so that a blocking call in the code under test can return.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString title;
        QString text;
        int icon;   // QMessageBox::Icon
    };

    explicit ModalAnswerer(QObject *parent = nullptr);

    const QList<Box> &boxes() const { return seen; }
    void clear() { seen.clear(); }
    // Waits until at least count boxes have been seen.
    bool waitForBoxes(int count, int timeoutMs = 10000);

private:
    void answer();

    QTimer poll;
    QList<Box> seen;
};

#endif // MODALANSWERER_H
