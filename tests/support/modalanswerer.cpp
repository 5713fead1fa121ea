#include "modalanswerer.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
{
    connect(&poll, &QTimer::timeout, this, &ModalAnswerer::answer);
    poll.start(20);
}

void ModalAnswerer::answer()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    seen.append({ box->windowTitle(), box->text(), int(box->icon()) });
    if (QAbstractButton *button = box->defaultButton())
        button->click();
    else if (QAbstractButton *escape = box->escapeButton())
        escape->click();
    else
        box->reject();
}

bool ModalAnswerer::waitForBoxes(int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return seen.size() >= count; }, timeoutMs);
}
