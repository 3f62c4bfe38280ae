#pragma once
// The far end of a serial line for tests: a raw pseudo-terminal whose slave
// side is reachable as "Com N" through a temporary per-user ports folder.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace gaspuff::test {

class RawPty {
  public:
    RawPty();
    ~RawPty();
    bool ok() const { return master_ >= 0; }
    QString slavepath() const { return slavepath_; }
    // Sends bytes from the far end.
    void write(const QByteArray& bytes);
    // Whatever the panel has written so far, waiting at most ms for more.
    QByteArray read(int ms = 0);
    // Reads until at least n bytes have come or ms have passed, pumping the
    // Qt event loop meanwhile.
    QByteArray readatleast(qsizetype n, int ms);
    // The far end goes away.
    void closemaster();
    int masterfd() const { return master_; }

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
    QString path() const;

  private:
    QTemporaryDir dir_;
    QByteArray saved_;
    bool hadsaved_;
};

}  // namespace gaspuff::test
