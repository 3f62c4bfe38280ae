#pragma once
// The far end of a serial line for tests: a raw pseudo-terminal whose slave
// side is reachable as "Com N" through a temporary per-user ports folder.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace gaspuff::test {

class RawPty {
  public:
    RawPty();
    ~RawPty();
    bool ok() const { return master_ >= 0; }
    QString slavepath() const { return slavepath_; }
    int masterfd() const { return master_; }
    // What has come from the panel, until at least n bytes or ms have passed.
    QByteArray read(int ms, qsizetype n = 1);
    // The far end goes away.
    void closemaster();

  private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the line stays up between opens
    QString slavepath_;
};

// A temporary $XDG_CONFIG_HOME whose ports folder links comN to a device.
class PortsFolder {
  public:
    PortsFolder();
    ~PortsFolder();
    void link(int n, const QString& target);
    QString path() const { return dir_.path() + QStringLiteral("/gaspuff/ports"); }

  private:
    QTemporaryDir dir_;
    QByteArray saved_ = qgetenv("XDG_CONFIG_HOME");
};

}  // namespace gaspuff::test
