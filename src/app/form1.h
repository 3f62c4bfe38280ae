// SPDX-License-Identifier: MIT
#pragma once
// The panel's one window: every control, the timers, the serial port and the
// state the handlers share. Handlers run one at a time on the event thread.
#include <QByteArray>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "protocol/linksession.h"
#include "waveform/table.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;
class QUndoStack;

namespace gaspuff {

class DifferencesWindow;
class SerialPort;
class SessionLog;
class Shape;
class WaveGraph;
class WaveformNote;

inline constexpr char kApplicationName[] = "gaspuff-panel";
inline constexpr char kWindowTitle[] = "VARNOK Gas puffing controller";

// What the window needs of the platform, set before the QApplication exists.
void prepareplatform();

class Form1 : public QWidget {
    Q_OBJECT
  public:
    // port: the serial port to use (the window takes it over); by default the
    // real one.
    explicit Form1(SerialPort* port = nullptr, QWidget* parent = nullptr);
    ~Form1() override;

    // Port group.
    QComboBox* cmbSerialPort;
    QPushButton* cmdLigar;     // Connect
    QPushButton* cmdDesligar;  // Disconnect
    Shape* shpEstado;          // port state indicator
    QLabel* lblPortSetting;
    QLabel* lblPortState;
    // Controller status group.
    QLabel* Label11;
    Shape* shpUptime;
    QLabel* lblUptime;
    QLabel* Label3;
    Shape* shpAutoArm;
    QLabel* lblAutoArm;
    Shape* shpState;
    QLabel* lblState;
    QPushButton* cmdAutoArmOn;
    QPushButton* cmdAutoArmOff;
    // Command column.
    QPushButton* cmdStop;
    QPushButton* cmdSend;
    QPushButton* cmdGet;
    QPushButton* cmdStandby;
    QPushButton* cmdArm;
    QPushButton* cmdShoot;
    // Point entry.
    QLabel* amplabel;
    QLineEdit* amptxt;
    QLabel* timeptlabel;
    QLineEdit* timepttxt;
    QPushButton* cmdAddPoint;
    // Graph, its frame and its axis captions.
    QLabel* Label10;
    WaveGraph* wavegraph;
    QFrame* Line4;
    QFrame* Line3;
    QFrame* Line2;
    QFrame* Line1;
    QLabel* Label5;
    QLabel* Label2;
    QLabel* Label6;
    QLabel* Label8;
    QLabel* Label1;
    QLabel* Label9;
    // Messages and status.
    QLabel* Label4;
    QListWidget* lstMessages;
    QLineEdit* txtStatus;
    // Files.
    QLabel* Label7;
    QLineEdit* filenametext;
    QPushButton* cmdSave;
    QPushButton* cmdLoad;
    QPushButton* cmdReset;
    // What a read-back found or a load kept, in the free space above Reset.
    WaveformNote* lblNote;
    // The graph's context menu: "Add ramp...", "Copy table", "Paste column",
    // "Show differences".
    QMenu* mnuGraph;
    DifferencesWindow* frmDifferences = nullptr;  // made when first asked for

    QTimer* tmrState;       // port state display, 400 ms
    QTimer* tmrComTimeout;  // link watchdog, 1000 ms
    QTimer* tmrGetting;  // read-back deadline, 2000 ms, on only during a read-back (the session's)
    SerialPort* MSComm1;

    // The table shown and edited. What arrives on the line (the receive
    // buffer, the read-back) is the session's, object name "session".
    Waveform waveform{};
    // Every change of the table, one step each, for Ctrl+Z and Ctrl+Y.
    QUndoStack* history;

    // Shows a modal message with a single OK button; tests put their own here.
    std::function<void(const QString&)> messagebox;
    // Asks for a ramp's four numbers, given and returned as texts; false when
    // cancelled. Tests put their own here.
    std::function<bool(QStringList&)> rampdialog;
    // Asks for a waveform file to open; empty when cancelled. Tests put their
    // own here.
    std::function<QString()> filedialog;
    // Records the session when set (by --log); a log that fails says so once
    // in the status box.
    void setsessionlog(SessionLog* log);
    SessionLog* sessionlog = nullptr;

    void drawgraph();
    void parseline(const QByteArray& line);
    void disablebuttons();
    void enablebuttons();
    // The graph's mapping on this window's surface.
    int scalegraphx(int x) const;
    int scalegraphy(int y) const;
    // The buttons a transfer locks, in the order they are switched.
    std::array<QPushButton*, 12> lockedbuttons() const;

    // Start-up and shut-down.
    void Form_Load();
    void Form_Unload();

    // Port connection and the link.
    void cmdLigar_Click();
    void cmdDesligar_Click();
    void tmrState_Timer();
    void MSComm1_LinkLost();
    void tmrComTimeout_Timer();
    // Controller commands and waveform transfer.
    void cmdArm_Click();
    void cmdAutoArmOn_Click();
    void cmdAutoArmOff_Click();
    void cmdShoot_Click();
    void cmdStandby_Click();
    void cmdStop_Click();
    void cmdSend_Click();
    void cmdGet_Click();
    void tmrGetting_Timer();
    // The waveform table and its files.
    void cmdAddPoint_Click();
    void cmdReset_Click();
    void cmdSave_Click();
    void cmdLoad_Click();
    // The table's keys and the graph's menu.
    void undo();
    void redo();
    void openfile();  // Ctrl+O
    void addramp();
    void copytable();
    void pastetable();
    void showdifferences();
    // Fills Time and Voltage from the run holding millisecond t.
    void pickrun(int t);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildcontrols();
    void connecthandlers();
    // Writes word and a carriage return; false (with the reason shown) when
    // the port is closed or refused the write.
    bool sendcommand(const char* word);
    // Sets a label's caption; a label sized to its text follows it, keeping
    // its left and top.
    void setcaption(QLabel* label, const QString& caption);
    void reportfailure(int code, const char* description);
    void capmessages();
    // A line's meaning on the screen, all but the status captions, which
    // showstatus sets once for a batch of lines.
    void showline(const QByteArray& line, const LineMeaning& meaning);
    void showstatus(const LineMeaning& status);
    void transferended(LinkSession::Transfer kind, LinkSession::Outcome outcome,
                       const Waveform& table);
    // Closes the port, telling the operator of output the line did not take.
    void closeport();

    void buildtablekeys();
    // Undoes (back) or redoes one step: a text box's typing, else the table's.
    void historystep(bool back);
    // A transfer holds the table: the locked buttons say so.
    bool transferring() const;
    // Records a change of the table as one undo step named what and shows
    // after; a change that changes nothing is no step, only a redraw.
    void changetable(const QString& what, const Waveform& before, const Waveform& after);
    void showtable(const Waveform& table);  // what an undo step puts in place
    // Add point's checks and change; false when a value was refused.
    bool enterpoint();
    void enterkey();  // Enter in Voltage or Time
    void setnote(const QString& sentence, bool clickable = false);
    // After a completed read-back: received held against the table last
    // sent, or else the one shown before.
    void comparereadback(const Waveform& shown, const Waveform& received);

    struct Sent {
        Waveform table;
        QString at;  // "14:51:07"
    };
    std::optional<Sent> lastsent_;
    struct Comparison {
        Waveform reference;
        Waveform received;
        QString sentat;  // empty when the reference is the table shown before
    };
    // The read-back the note speaks of, while its entries differ.
    std::optional<Comparison> differing_;
    QStringList ramptexts_;  // the ramp dialog's last numbers, offered again
    LinkSession* session_;
};

}  // namespace gaspuff
