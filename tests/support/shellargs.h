// SPDX-License-Identifier: MIT
#pragma once
// Arguments as bytes for a program a test runs: QProcess encodes arguments as
// UTF-8, so a name invalid there goes through the shell's printf instead.
#include <QByteArrayList>
#include <QStringList>

namespace gaspuff::test {

// What QProcess::start("/bin/sh", ...) takes to run program with args.
inline QStringList shellargs(const QString& program, const QByteArrayList& args) {
    QByteArray script = "exec \"$0\"";
    for (const QByteArray& arg : args) {
        script += " \"$(printf '";
        for (const char c : arg)
            script += "\\" + QByteArray::number(uchar(c), 8).rightJustified(3, '0');
        script += "')\"";
    }
    return {QStringLiteral("-c"), QString::fromLatin1(script), program};
}

}  // namespace gaspuff::test
