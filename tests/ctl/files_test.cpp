// gaspuff-ctl's files: names taken as the bytes given, whatever is no regular
// file said to be so, and a log that never holds the command up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <fstream>

#include "rawpty.h"
#include "shellargs.h"
#include "simprocess.h"

using namespace gaspuff;

namespace {

// Files by their names' bytes.
QByteArray readall(const QByteArray& name) {
    std::ifstream f(name.constData(), std::ios::binary);
    return QByteArray::fromStdString({std::istreambuf_iterator<char>(f), {}});
}
bool writeall(const QByteArray& name, const QByteArray& bytes) {
    return bool(std::ofstream(name.constData(), std::ios::binary) << bytes.toStdString());
}

// gaspuff-ctl with args as bytes: its exit status and standard error.
std::pair<int, QByteArray> ctl(const QByteArrayList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", "C.UTF-8");
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.start("/bin/sh", test::shellargs(GASPUFF_CTL_PATH, args));
    if (!p.waitForFinished(15000)) return {-1, "(still running)"};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError()};
}

}  // namespace

TEST(CtlFiles, NamesAreTheBytesGivenAndWhatIsNoRegularFileIsSaidSo) {
    test::PortsFolder ports;  // the simulator links itself as Com 10, the default port
    QTemporaryDir dir;
    const QByteArray d = QFile::encodeName(dir.path());
    const QByteArray fifties = QByteArray("50\r\n").repeated(1000);
    ASSERT_TRUE(writeall(d + "/held.txt", fifties) && writeall(d + "/latin1_\xe9.txt", fifties));
    ASSERT_EQ(::mkfifo((d + "/fifo").constData(), 0600), 0);
    test::SimProcess simulator(
        {"--fast", "--status-ms", "50", "--table", dir.filePath("held.txt")});
    ASSERT_FALSE(simulator.slavepath().isEmpty()) << simulator.errors().toStdString();
    const QByteArray at = "gaspuff-ctl: ";
    // The arguments, the exit status, standard error.
    const std::tuple<QByteArrayList, int, QByteArray> cases[] = {
        {{"send", d + "/latin1_\xe9.txt"}, 0, ""},
        {{"get", d + "/got_\xe9.txt"}, 0, ""},
        {{"send", d + "/fifo"}, 5, at + "Cannot load " + d + "/fifo: it is not a regular file\n"},
        {{"send", "-"}, 5, at + "Cannot load -: send reads a file, not standard input\n"},
        {{"--log", d + "/fifo", "status"},
         0,
         at + "Cannot write the session log " + d + "/fifo: No such device or address\n"},
    };
    for (const auto& [args, exit, err] : cases)
        EXPECT_EQ(ctl(args), std::pair(exit, err)) << args.join(' ').constData();
    EXPECT_EQ(readall(d + "/got_\xe9.txt"), fifties);
    for (const char* name : {"/latin1_\xe9.txt", "/got_\xe9.txt"})  // unlisted by QDir
        ::unlink((d + name).constData());
}
