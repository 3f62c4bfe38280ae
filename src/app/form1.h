#pragma once
// The panel's one window: every control, the timers, the serial port and the
// state the handlers share. Handlers run one at a time on the event thread.
#include <QByteArray>
#include <QWidget>
#include <array>
#include <functional>

#include "link/lineassembly.h"
#include "protocol/interpreter.h"
#include "protocol/lateanswer.h"
#include "waveform/table.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace gaspuff {

class SerialPort;
class SessionLog;
class Shape;
class WaveGraph;

inline constexpr char kApplicationName[] = "gaspuff-panel";
inline constexpr char kWindowTitle[] = "VARNOK Gas puffing controller";

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

    QTimer* tmrState;       // port state display, 400 ms
    QTimer* tmrComTimeout;  // link watchdog, 1000 ms
    QTimer* tmrGetting;     // read-back deadline, 2000 ms, on only during a read-back
    SerialPort* MSComm1;

    // Shared state.
    Waveform waveform{};
    LineAssembly rxbuffer;  // received text not yet ended by a carriage return
    bool rxactivity = false;
    Reception rx;           // getting, pointcount, boguscount and the staged points
    LateAnswer lateanswer;  // a read-back given up on whose answer may still come

    // Shows a modal message with a single OK button; tests put their own here.
    std::function<void(const QString&)> messagebox;
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
    void MSComm1_OnComm();
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

  protected:
    void closeEvent(QCloseEvent* event) override;

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
    // Closes the port, telling the operator of output the line did not take.
    void closeport();
    void logport(const char* what);
    // Ends a read-back that did not complete: deadline off, buttons back.
    void endreadback();
};

}  // namespace gaspuff
