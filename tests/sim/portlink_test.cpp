// The simulator's "comN" link in a ports folder.
#include "portlink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace gaspuff::sim;

namespace {

class PortLinkTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString folder() const { return dir.filePath("config/gaspuff/ports"); }
    QString com(int n) const { return folder() + QStringLiteral("/com%1").arg(n); }
    QString existing() {
        QFile f(dir.filePath("device"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return f.fileName();
    }
    static QString pointsat(const QString& link) {
        return QFile::decodeName(QFile::encodeName(QFileInfo(link).symLinkTarget()));
    }
    void putlink(const QString& target, const QString& link) {
        QDir().mkpath(folder());
        ASSERT_EQ(
            ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
            0);
    }
};

}  // namespace

TEST_F(PortLinkTest, MakesTheFolderAndTheLinkAndTakesTheLinkAway) {
    const QString target = existing();
    {
        PortLink link;
        EXPECT_EQ(link.create(folder(), 10, target), PortLink::Outcome::Created);
        EXPECT_EQ(link.path(), com(10));
        EXPECT_EQ(pointsat(com(10)), target);
        link.remove();
        EXPECT_FALSE(QFileInfo(com(10)).isSymLink());
        EXPECT_EQ(link.create(folder(), 3, target), PortLink::Outcome::Created);
        EXPECT_EQ(pointsat(com(3)), target);
    }
    // Gone with the object too.
    EXPECT_FALSE(QFileInfo(com(3)).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target));
}

TEST_F(PortLinkTest, ADanglingLinkIsReplaced) {
    putlink(dir.filePath("pts-long-gone"), com(10));
    const QString target = existing();
    PortLink link;
    EXPECT_EQ(link.create(folder(), 10, target), PortLink::Outcome::ReplacedDangling);
    EXPECT_EQ(pointsat(com(10)), target);
}

TEST_F(PortLinkTest, ALinkToSomethingThatExistsIsLeftAloneAndNamedInTheProblem) {
    const QString other = existing();
    putlink(other, com(10));
    {
        PortLink link;
        EXPECT_EQ(link.create(folder(), 10, dir.filePath("mine")), PortLink::Outcome::Occupied);
        EXPECT_TRUE(link.problem().contains(com(10))) << link.problem().toStdString();
        EXPECT_TRUE(link.problem().contains(other)) << link.problem().toStdString();
        EXPECT_TRUE(link.problem().contains("--port"));
    }
    EXPECT_EQ(pointsat(com(10)), other);  // not even removed on the way out
}

TEST_F(PortLinkTest, AFileOrFolderOfThatNameIsLeftAlone) {
    QDir().mkpath(com(11));
    QDir().mkpath(folder());
    QFile plain(com(12));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    for (int n : {11, 12}) {
        PortLink link;
        EXPECT_EQ(link.create(folder(), n, existing()), PortLink::Outcome::Occupied) << n;
        EXPECT_TRUE(link.problem().contains("not a link")) << link.problem().toStdString();
    }
    EXPECT_TRUE(QFileInfo(com(11)).isDir());
    EXPECT_TRUE(QFileInfo(com(12)).isFile());
}

TEST_F(PortLinkTest, ALinkSomeoneElsePutInItsPlaceStays) {
    PortLink link;
    ASSERT_EQ(link.create(folder(), 10, existing()), PortLink::Outcome::Created);
    QFile::remove(com(10));
    const QString theirs = dir.filePath("theirs");
    putlink(theirs, com(10));
    link.remove();
    EXPECT_EQ(pointsat(com(10)), theirs);
}

TEST_F(PortLinkTest, AFolderThatCannotBeMadeFailsWithTheReason) {
    const QString file = existing();
    PortLink link;
    EXPECT_EQ(link.create(file + "/ports", 10, file), PortLink::Outcome::Failed);
    EXPECT_TRUE(link.problem().contains(file)) << link.problem().toStdString();
}
