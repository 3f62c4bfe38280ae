// SPDX-License-Identifier: MIT
#pragma once
// The command line as all the programs take it: Qt's parser, -h/--help and
// --version, and a refusal that names the program and the problem on standard
// error and points at --help.
#include <QCommandLineParser>
#include <QString>
#include <functional>
#include <optional>

namespace gaspuff {

struct CommandLineText {
    const char* program;  // its name, as the usage line and every message say it
    QString syntax;       // what follows the name on the usage line
    QString description;  // the lines under the usage line
    QString more;         // the sections after the options
    int usagestatus;      // the exit status of a bad command line
};

// Adds -h/--help and --version to parser (which holds the program's own
// options) and reads args, the program's name first. check, called when the
// parser found nothing wrong, says what the parser cannot (a value out of
// range, an argument too many), empty when all is well. Returns the exit
// status when the program ends here: 0 once the help or the version is on
// standard output, text.usagestatus once a problem is on standard error.
std::optional<int> readcommandline(QCommandLineParser& parser, const QStringList& args,
                                   const CommandLineText& text,
                                   const std::function<QString()>& check);

// The whole number in value when it lies in lo..hi.
std::optional<qint64> wholenumber(const QString& value, qint64 lo, qint64 hi);

}  // namespace gaspuff
