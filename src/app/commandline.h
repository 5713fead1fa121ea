#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QString>
#include <QStringList>

// How the window is to start after reading the command line.
struct WindowCommandLine
{
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };

    Action action = Action::Run;
    QString port;        // --port: to preselect, by name or device
    QString project;     // the file named, opened as a project whatever its extension
    QString text;        // the help or the version, or why the arguments were refused
};

// Reads the arguments (the program's name first) as kelvaset takes them.
// Qt's own options (-platform NAME, -style NAME, -geometry WxH+X+Y...) are
// QApplication's: they and their values are passed over, and other
// unknown options are left to it too. Needs a QCoreApplication.
WindowCommandLine parseWindowCommandLine(const QStringList &arguments);

#endif // COMMANDLINE_H
