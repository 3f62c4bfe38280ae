// SPDX-License-Identifier: MIT
#include "app/form1.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "app/rampdialog.h"
#include "app/shape.h"
#include "app/waveformnote.h"
#include "app/wavegraph.h"
#include "app/wrapbutton.h"
#include "link/anyport.h"
#include "protocol/sessionlog.h"

namespace gaspuff {
namespace {

// The window is designed in twips, 15 to a pixel.
constexpr int px(int twips) {
    return (twips + 7) / 15;
}
QRect twips(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

QFont basefont(qreal points, bool bold) {
    QFont f;
    // MS Sans Serif where it exists, else a face of the same metrics.
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                   QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

constexpr char kAutoSize[] = "autosize";

template <typename W>
W* place(W* w, const char* name, QRect geometry) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

enum LabelStyle { Plain = 0, Bold = 1, Centred = 2, AutoSize = 4 };

}  // namespace

void prepareplatform() {
    // On a busy line the window repaints one small caption every frame. With
    // X shared memory, Qt waits for the X server before painting over what it
    // showed last, a round trip a frame for both; sending the few pixels
    // through the connection needs none. An explicit choice is kept.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
}

Form1::Form1(SerialPort* port, QWidget* parent) : QWidget(parent) {
    MSComm1 = port ? port : new AnyPort();
    MSComm1->setParent(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    session_ = new LinkSession(MSComm1, this);
    session_->setObjectName(QStringLiteral("session"));
    messagebox = [this](const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, QLatin1String(kApplicationName), text, QMessageBox::Ok,
                        this);
        box.exec();
    };
    rampdialog = [this](QStringList& texts) { return askramp(this, texts); };
    filedialog = [this] {
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Load waveform"), filenametext->text(),
            QStringLiteral("Waveform files (*.txt);;All files (*)"));
    };
    buildcontrols();
    connecthandlers();
    buildtablekeys();
    Form_Load();
    tmrState->start();
    tmrComTimeout->start();
}

Form1::~Form1() = default;

void Form1::buildcontrols() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QLatin1String(kWindowTitle));
    setFixedSize(px(9945), px(8085));
    setFont(basefont(8.25, false));

    auto label = [this](const char* name, const char* caption, QRect g, int style,
                        qreal points = 8.25) {
        auto* l = place(new QLabel(QString::fromUtf8(caption), this), name, g);
        // Captions show text as received, never as markup.
        l->setTextFormat(Qt::PlainText);
        if (style & Bold || points != 8.25) l->setFont(basefont(points, style & Bold));
        if (style & Centred)
            l->setAlignment(Qt::AlignCenter);
        else
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setProperty(kAutoSize, bool(style & AutoSize));
        if (style & AutoSize) l->resize(l->sizeHint());
        return l;
    };
    auto button = [this](const char* name, const char* caption, QRect g) {
        // Captions too wide for their button wrap onto a second line.
        return place(new WrapButton(QString::fromUtf8(caption), this), name, g);
    };
    auto textbox = [this](const char* name, const char* text, QRect g) {
        return place(new QLineEdit(QString::fromUtf8(text), this), name, g);
    };
    auto shape = [this](const char* name, QColor fill, QRect g) {
        return place(new Shape(fill, this), name, g);
    };
    auto line = [this](const char* name, int x1, int y1, int x2, int y2) {
        // A 1-pixel line between two points on one row or one column.
        const QRect g = QRect(QPoint(px(x1), px(y1)), QPoint(px(x2), px(y2))).normalized();
        auto* f = place(new QFrame(this), name, g);
        f->setAutoFillBackground(true);
        QPalette pal = f->palette();
        pal.setColor(QPalette::Window, Qt::black);
        f->setPalette(pal);
        return f;
    };
    const QColor white(255, 255, 255);
    const QColor lightyellow(255, 255, 128);

    // Port group.
    cmbSerialPort = place(new QComboBox(this), "cmbSerialPort", twips(240, 240, 1095, 315));
    for (int n = 1; n <= 16; ++n) cmbSerialPort->addItem(QStringLiteral("Com %1").arg(n));
    cmdLigar = button("cmdLigar", "Connect", twips(1440, 240, 1095, 375));
    cmdDesligar = button("cmdDesligar", "Disconnect", twips(2640, 240, 1095, 375));
    shpEstado = shape("shpEstado", white, twips(240, 840, 2535, 615));
    lblPortSetting = label("lblPortSetting", "Port settings", twips(360, 960, 1965, 195), Bold);
    lblPortState = label("lblPortState", "Port state", twips(360, 1200, 1905, 195), Bold);

    // Controller status group.
    Label11 = label("Label11", "Uptime", twips(4080, 120, 600, 195), Bold | AutoSize);
    shpUptime = shape("shpUptime", lightyellow, twips(4080, 360, 1935, 495));
    lblUptime = label("lblUptime", "-", twips(4980, 480, 135, 300), Bold | Centred | AutoSize, 12);
    Label3 = label("Label3", "Auto arm", twips(6840, 120, 765, 195), Bold | AutoSize);
    shpAutoArm = shape("shpAutoArm", lightyellow, twips(6840, 360, 735, 495));
    lblAutoArm = label("lblAutoArm", "-", twips(6840, 480, 735, 300), Bold | Centred, 12);
    shpState = shape("shpState", white, twips(3600, 1200, 2055, 975));
    lblState = label("lblState", "state", twips(3600, 1440, 2055, 495), Centred, 18);
    cmdAutoArmOn = button("cmdAutoArmOn", "Auto arm on", twips(6120, 1440, 855, 615));
    cmdAutoArmOff = button("cmdAutoArmOff", "Auto arm off", twips(7080, 1440, 855, 615));

    // Command column: painted faces, bold captions.
    auto painted = [&](const char* name, const char* caption, int top, QColor face) {
        QPushButton* b = button(name, caption, twips(8280, top, 1335, 735));
        b->setFont(basefont(9.75, true));
        b->setStyleSheet(
            QStringLiteral(
                "QPushButton { background-color: %1; border: 1px solid black; padding: 0px; }"
                "QPushButton:pressed { border: 2px solid black; }"
                "QPushButton:focus { border: 2px dotted black; }"
                "QPushButton:disabled { color: rgb(96, 96, 96); }")
                .arg(face.name()));
        return b;
    };
    cmdStop = painted("cmdStop", "Stop", 240, QColor(0, 255, 0));
    cmdSend = painted("cmdSend", "Send Waveform", 1080, QColor(255, 128, 0));
    cmdGet = painted("cmdGet", "Get Waveform", 1920, QColor(255, 128, 0));
    cmdStandby = painted("cmdStandby", "Standby", 2760, QColor(255, 255, 0));
    cmdArm = painted("cmdArm", "Arm", 3600, QColor(255, 0, 0));
    cmdShoot = painted("cmdShoot", "Shoot", 4440, QColor(0, 0, 255));

    // Point entry.
    amplabel = label("amplabel", "Voltage (0-100%)", twips(240, 2040, 1695, 255), Bold);
    amptxt = textbox("amptxt", "0", twips(240, 2280, 1335, 285));
    timeptlabel = label("timeptlabel", "Time (0-1000 ms)", twips(240, 2760, 1575, 255), Bold);
    timepttxt = textbox("timepttxt", "10", twips(240, 3000, 1335, 285));
    cmdAddPoint = button("cmdAddPoint", "Add point to waveform", twips(600, 3600, 855, 975));

    // Graph.
    Label10 = label("Label10", "Waveform", twips(2280, 2280, 870, 195), Bold | AutoSize);
    wavegraph = new WaveGraph(twips(2400, 2640, 5415, 1815).size(), waveform, this);
    place(wavegraph, "wavegraph", twips(2400, 2640, 5415, 1815));
    Line4 = line("Line4", 2280, 2520, 7920, 2520);
    Line3 = line("Line3", 7920, 2520, 7920, 4560);
    Line2 = line("Line2", 7920, 4560, 2280, 4560);
    Line1 = line("Line1", 2280, 2520, 2280, 4560);
    Label5 = label("Label5", "100%", twips(1800, 2520, 495, 255), Plain);
    Label2 = label("Label2", "50%", twips(1920, 3480, 375, 255), Plain);
    Label6 = label("Label6", "0%", twips(2040, 4320, 255, 255), Plain);
    Label8 = label("Label8", "0 ms", twips(2040, 4560, 735, 255), Centred);
    Label1 = label("Label1", "500 ms", twips(3480, 4560, 3495, 255), Centred);
    Label9 = label("Label9", "1 s", twips(7560, 4560, 495, 255), Centred);

    // Messages and status.
    Label4 = label("Label4", "Character receive", twips(240, 4800, 1530, 195), Bold | AutoSize);
    lstMessages = place(new QListWidget(this), "lstMessages", twips(240, 5040, 7335, 2205));
    txtStatus = textbox("txtStatus", "", twips(240, 7560, 7335, 285));
    txtStatus->setReadOnly(true);
    // A long sentence shows its beginning, and the whole of it on hovering.
    connect(txtStatus, &QLineEdit::textChanged, this, [this](const QString& text) {
        txtStatus->setToolTip(text);
        txtStatus->setCursorPosition(0);
    });
    connect(txtStatus, &QLineEdit::cursorPositionChanged, this, [this](int, int now) {
        if (now && !txtStatus->hasFocus()) txtStatus->setCursorPosition(0);
    });

    // Files.
    Label7 = label("Label7", "Filename", twips(7800, 5520, 1455, 255), Bold);
    filenametext = textbox("filenametext", "waveform1.txt", twips(7800, 5760, 1815, 285));
    cmdSave = button("cmdSave", "Save", twips(7800, 6120, 855, 375));
    cmdLoad = button("cmdLoad", "Load", twips(8760, 6120, 855, 375));
    cmdReset = button("cmdReset", "Reset", twips(7800, 7440, 855, 375));
    lblNote = place(new WaveformNote(this), "lblNote", twips(7800, 6555, 1815, 840));

    // Assistive technology reads a box by its caption.
    for (auto [caption, box] :
         {std::pair{amplabel, amptxt}, {timeptlabel, timepttxt}, {Label7, filenametext}}) {
        caption->setBuddy(box);
        box->setAccessibleName(caption->text());
    }
    cmdSave->setToolTip(QStringLiteral("Save to the file named above (Ctrl+S)"));
    cmdLoad->setToolTip(
        QStringLiteral("Load the file named above (Ctrl+O chooses a file and loads it)"));
    cmdAddPoint->setToolTip(QStringLiteral("Add the point (Enter in Voltage or Time)"));
    wavegraph->setToolTip(
        QStringLiteral("Click: this run into Time and Voltage\n"
                       "Right click, Menu or Shift+F10: ramp, copy, paste, differences\n"
                       "Ctrl+C, Ctrl+V: copy or paste the table; Ctrl+Z, Ctrl+Y: undo, redo"));

    // Escape resets, as a cancel button; Enter presses no button (in Voltage
    // or Time it adds the point).
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (cmdReset->isEnabled()) cmdReset->click();
    });
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    const QWidget* order[] = {txtStatus,  cmdLigar,    cmdDesligar, filenametext, cmdSave,
                              amptxt,     timepttxt,   cmdSend,     cmdStop,      cmdLoad,
                              cmdGet,     cmdArm,      cmdReset,    cmdShoot,     cmbSerialPort,
                              cmdStandby, cmdAddPoint, lstMessages, cmdAutoArmOn, cmdAutoArmOff};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    txtStatus->setFocus();

    auto timer = [this](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(interval);
        // Deadlines and the watchdog mean their milliseconds: a coarse timer
        // may fire 5 % early or late.
        t->setTimerType(Qt::PreciseTimer);
        return t;
    };
    tmrState = timer("tmrState", 400);
    tmrComTimeout = timer("tmrComTimeout", 1000);
    tmrGetting = session_->deadline();
    tmrGetting->setObjectName(QStringLiteral("tmrGetting"));
}

void Form1::connecthandlers() {
    const std::pair<QPushButton*, void (Form1::*)()> clicks[] = {
        {cmdLigar, &Form1::cmdLigar_Click},
        {cmdDesligar, &Form1::cmdDesligar_Click},
        {cmdArm, &Form1::cmdArm_Click},
        {cmdAutoArmOn, &Form1::cmdAutoArmOn_Click},
        {cmdAutoArmOff, &Form1::cmdAutoArmOff_Click},
        {cmdShoot, &Form1::cmdShoot_Click},
        {cmdStandby, &Form1::cmdStandby_Click},
        {cmdStop, &Form1::cmdStop_Click},
        {cmdSend, &Form1::cmdSend_Click},
        {cmdGet, &Form1::cmdGet_Click},
        {cmdAddPoint, &Form1::cmdAddPoint_Click},
        {cmdReset, &Form1::cmdReset_Click},
        {cmdSave, &Form1::cmdSave_Click},
        {cmdLoad, &Form1::cmdLoad_Click},
    };
    for (const auto& [button, handler] : clicks)
        connect(button, &QPushButton::clicked, this, handler);
    connect(tmrState, &QTimer::timeout, this, &Form1::tmrState_Timer);
    connect(tmrComTimeout, &QTimer::timeout, this, &Form1::tmrComTimeout_Timer);
    connect(session_, &LinkSession::line, this, &Form1::showline);
    connect(session_, &LinkSession::status, this, &Form1::showstatus);
    connect(session_, &LinkSession::outofmemory, this,
            [this] { reportfailure(7, "Out of memory"); });
    connect(session_, &LinkSession::linklost, this, &Form1::MSComm1_LinkLost);
    connect(session_, &LinkSession::transferstarted, this, &Form1::disablebuttons);
    connect(session_, &LinkSession::transferfinished, this, &Form1::transferended);
}

void Form1::Form_Load() {
    waveform.fill(0);
    MSComm1->setsettings(QStringLiteral("115200,N,8,1"));
    lblPortSetting->setText(MSComm1->settings());
    session_->clearreceived();
    drawgraph();
    cmbSerialPort->setCurrentIndex(9);
}

void Form1::Form_Unload() {
    // A read-back still running ends here, its answer not: the next program
    // on the line waits for the rest of it.
    closeport();
}

void Form1::setsessionlog(SessionLog* log) {
    sessionlog = log;
    session_->setlog(log);
    if (log) log->onfailure([this](const QString& why) { txtStatus->setText(why); });
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Form1::setcaption(QLabel* label, const QString& caption) {
    label->setText(caption);
    if (label->property(kAutoSize).toBool()) label->resize(label->sizeHint());
}

}  // namespace gaspuff
