#ifndef WINDOWTEST_H
#define WINDOWTEST_H

#include <QLabel>
#include <QString>
#include <QWidget>

class MainWindow;

// Reading the main window as the user sees it.
namespace WindowTest {

template <typename T>
T *widget(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

// The status bar's two parts: the indicator's style sheet and the message.
QString statusStyle(QWidget *window);
QString statusText(QWidget *window);

// Links a fresh pseudo-terminal into the virtual port directory under the
// given name, as a simulator or socat would; returns the pty's master fd.
int announceVirtualPort(const QString &name);
void withdrawVirtualPort(const QString &name, int masterFd);

} // namespace WindowTest

#endif // WINDOWTEST_H
