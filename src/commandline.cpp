// SPDX-License-Identifier: MIT
#include "commandline.h"

#include <QRegularExpression>
#include <cstdio>

namespace gaspuff {

std::optional<int> readcommandline(QCommandLineParser& parser, const QStringList& args,
                                   const CommandLineText& text,
                                   const std::function<QString()>& check) {
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this text and end."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and end."));
    parser.addOption(help);
    parser.addOption(version);
    parser.setApplicationDescription(text.description);
    QString problem = parser.parse(args) ? QString() : parser.errorText();
    if (problem.isEmpty() && parser.isSet(help)) {
        // The parser's usage line names the executable as started; the
        // manual page and the reader want the program's name.
        const QString usage = QStringLiteral("Usage: %1 %2\n").arg(text.program, text.syntax);
        std::fputs(qPrintable(usage + parser.helpText().section(u'\n', 1) + text.more), stdout);
        return 0;
    }
    if (problem.isEmpty() && parser.isSet(version)) {
        std::printf("%s %s\n", text.program, GASPUFF_VERSION);
        return 0;
    }
    if (problem.isEmpty()) problem = check();
    if (problem.isEmpty()) return std::nullopt;
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", text.program,
                 problem.toLocal8Bit().constData(), text.program);
    return text.usagestatus;
}

std::optional<qint64> wholenumber(const QString& value, qint64 lo, qint64 hi) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    const qint64 n = value.toLongLong();
    if (digits.match(value).hasMatch() && n >= lo && n <= hi) return n;
    return std::nullopt;
}

}  // namespace gaspuff
