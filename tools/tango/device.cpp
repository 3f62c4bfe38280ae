// SPDX-License-Identifier: MIT
#include "device.h"

#include "owner.h"

namespace gaspuff::tango {
namespace {

// A request that only reads or writes a word is done well within this.
constexpr int kCallMs = 1000;
// A transfer ends within its own deadline (the read-back's 2 s after the
// upload's time on the wire); this bound lies between that and a client's
// default time-out of 3 s.
constexpr int kTransferMs = 2800;

const char* const kDescription =
    "A gas-puff valve controller on a serial line (device property Port: a number N for "
    "Com N, a device path, or a network serial server's URL). State: stop ON, standby STANDBY, "
    "armed ALARM, load MOVING, "
    "generate RUNNING; no character for a second (Communication timeout) UNKNOWN; port not "
    "open, taken or lost FAULT; opening, or open before the first status line, INIT.";

[[noreturn]] void fail(const QString& reason, const QString& text) {
    Tango::Except::throw_exception(reason.toStdString(), text.toStdString(), "GasPuffValve");
}

[[noreturn]] void busy() {
    fail(QStringLiteral("Busy"), QStringLiteral("The device did not answer within its bound"));
}

// What a request thread hands Tango: it must outlive the request, so each
// thread keeps its own until its next request.
struct Held {
    Snapshot s;
    std::string text;
    char* ptr = nullptr;
    Waveform table{};
};
thread_local Held held;

// Requests run unserialized, so a client's read of an attribute and an event
// pushed for it from the owner thread would share the attribute's value
// buffer. A read holds the attribute's own mutex from its read method until
// the value is on its way; a push takes the same one. (State and Status are
// read without it, and the read method never waits for the owner thread, so
// the owner never waits on a reader that waits on it.)
class Locked {
  public:
    Locked(Tango::DeviceImpl& dev, const char* name)
        : mutex_(*dev.get_device_attr()->get_attr_by_name(name).get_attr_mutex()) {
        mutex_.lock();
    }
    ~Locked() { mutex_.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    omni_mutex& mutex_;
};

class TextAttr : public Tango::Attr {
  public:
    TextAttr(const char* name, const char* description, const char* unit = "")
        : Tango::Attr(name, Tango::DEV_STRING, Tango::READ) {
        Tango::UserDefaultAttrProp p;
        p.set_description(description);
        p.set_unit(unit);
        set_default_properties(p);
        set_change_event(true, false);
        set_archive_event(true, false);
    }
    void read(Tango::DeviceImpl* dev, Tango::Attribute& att) override {
        static_cast<ValveDevice*>(dev)->readattr(att);
    }
};

class WaveformAttr : public Tango::SpectrumAttr {
  public:
    WaveformAttr()
        : Tango::SpectrumAttr("Waveform", Tango::DEV_SHORT, Tango::READ_WRITE, kWaveformLength) {
        Tango::UserDefaultAttrProp p;
        p.set_description(
            "The valve's table, one amplitude a millisecond: read, the table last written or "
            "read back; write, exactly 1000 values, loaded and read back, succeeding only when "
            "the controller holds them");
        p.set_unit("%");
        set_default_properties(p);
        set_change_event(true, false);
        set_archive_event(true, false);
    }
    void read(Tango::DeviceImpl* dev, Tango::Attribute& att) override {
        static_cast<ValveDevice*>(dev)->readattr(att);
    }
    void write(Tango::DeviceImpl* dev, Tango::WAttribute& att) override {
        static_cast<ValveDevice*>(dev)->writewaveform(att);
    }
};

class WordCmd : public Tango::Command {
  public:
    WordCmd(const char* name, const char* word)
        : Tango::Command(name, Tango::DEV_VOID, Tango::DEV_VOID, "", ""), word_(word) {}
    CORBA::Any* execute(Tango::DeviceImpl* dev, const CORBA::Any&) override {
        static_cast<ValveDevice*>(dev)->run(word_);
        return new CORBA::Any();
    }

  private:
    std::string word_;
};

// Tango's own Init, refused during a transfer.
class GuardedInit : public Tango::Command {
  public:
    explicit GuardedInit(Tango::Command* standard)
        : Tango::Command(standard->get_name().c_str(), Tango::DEV_VOID, Tango::DEV_VOID, "", ""),
          standard_(standard) {}
    CORBA::Any* execute(Tango::DeviceImpl* dev, const CORBA::Any& in) override {
        static_cast<ValveDevice*>(dev)->checkinit();
        return standard_->execute(dev, in);
    }

  private:
    std::unique_ptr<Tango::Command> standard_;
};

}  // namespace

Tango::DevState tangostate(const Snapshot& s) {
    if (s.condition == Condition::Opening) return Tango::INIT;
    if (s.condition != Condition::Open) return Tango::FAULT;
    if (s.silent) return Tango::UNKNOWN;
    if (s.state.isEmpty()) return Tango::INIT;
    if (s.state == "stop") return Tango::ON;
    if (s.state == "standby") return Tango::STANDBY;
    if (s.state == "armed") return Tango::ALARM;
    if (s.state == "load") return Tango::MOVING;
    if (s.state == "generate") return Tango::RUNNING;
    return Tango::UNKNOWN;
}

ValveDevice::ValveDevice(Tango::DeviceClass* cl, const std::string& name)
    : Tango::Device_4Impl(cl, name.c_str(), kDescription) {
    init_device();
}

ValveDevice::~ValveDevice() {
    delete_device();
    // What was handed to the owner thread uses this device until it has run.
    Owner::instance().call([] {}, kCallMs);
}

// Tango runs Init (delete_device, then init_device) holding the device's
// monitor, which pushing an event takes too: so neither waits for the owner
// thread, they hand it their work and return. What a request hands over later
// runs after it, and finds the new valve.
void ValveDevice::init_device() {
    std::string port;
    if (Tango::Util::_UseDb) {
        Tango::DbData data{Tango::DbDatum("Port")};
        get_db_device()->get_property(data);
        if (!data[0].is_empty()) data[0] >> port;
    }
    for (const char* name : {"State", "Status"}) {
        set_change_event(name, true, false);
        set_archive_event(name, true, false);
    }
    Owner::instance().call(
        [this, port = QString::fromStdString(port)] {
            valve_ = new Valve(port);  // deleted by delete_device, on this thread
            QObject::connect(valve_, &Valve::changed, valve_, [this] { publish(false); });
            QObject::connect(valve_, &Valve::transferred, valve_, [this] {
                if (valve_->snapshot().table) pushtable(*valve_->snapshot().table);
            });
            pushed_ = {};
            valve_->start();
            publish(true);
        },
        0);
}

void ValveDevice::checkinit() const {
    // A load is never cut in half: Init waits for no transfer, it is refused.
    if (transferring_)
        fail(QStringLiteral("TransferInProgress"),
             QStringLiteral("A transfer is in progress: Init refused until it ends"));
}

void ValveDevice::delete_device() {
    Owner::instance().call(
        [this] {
            if (!valve_) return;
            valve_->stop();
            delete std::exchange(valve_, nullptr);
        },
        0);
}

Snapshot ValveDevice::snapshot() {
    auto out = std::make_shared<Snapshot>();
    if (!Owner::instance().call(
            [this, out] {
                if (valve_) *out = valve_->snapshot();
            },
            kCallMs))
        busy();
    return *out;
}

Tango::DevState ValveDevice::dev_state() {
    return tangostate(snapshot());
}

Tango::ConstDevString ValveDevice::dev_status() {
    thread_local std::string status;
    status = snapshot().status().toStdString();
    return status.c_str();
}

void ValveDevice::read_attr_hardware(std::vector<long>&) {
    held.s = snapshot();
}

void ValveDevice::readattr(Tango::Attribute& attr) {
    const std::string& name = attr.get_name();
    if (name == "Waveform") {
        if (!held.s.table) return attr.set_quality(Tango::ATTR_INVALID);
        held.table = *held.s.table;
        return attr.set_value(held.table.data(), kWaveformLength);
    }
    held.text = name == "ControllerState" ? held.s.state.toStdString()
                : name == "Uptime"        ? held.s.uptime.toStdString()
                : name == "AutoArm"       ? held.s.autoarm.toStdString()
                : name == "LastMessage"   ? held.s.lastmessage.toStdString()
                                          : held.s.link().toStdString();
    held.ptr = held.text.data();
    attr.set_value(&held.ptr);
}

void ValveDevice::writewaveform(Tango::WAttribute& attr) {
    const long n = attr.get_write_value_length();
    if (n != kWaveformLength)
        fail(QStringLiteral("WrongLength"),
             QStringLiteral("Waveform takes exactly %1 values, not %2: nothing was sent")
                 .arg(kWaveformLength)
                 .arg(n));
    const Tango::DevShort* values = nullptr;
    attr.get_write_value(values);
    Waveform table{};
    std::copy(values, values + kWaveformLength, table.begin());
    const std::optional<Outcome> o = Owner::instance().await(
        [this, table](Valve::Finish finish) {
            if (valve_) return valve_->write(table, std::move(finish));
            finish({QStringLiteral("Closed"), QStringLiteral("The device is shut down")});
        },
        kTransferMs);
    if (!o) busy();
    if (!o->ok()) fail(o->reason, o->text);
}

void ValveDevice::run(const std::string& word) {
    const std::optional<Outcome> o = Owner::instance().await(
        [this, word](Valve::Finish finish) {
            if (!valve_) return finish({QStringLiteral("Closed"), QStringLiteral("Shut down")});
            if (word.empty()) return valve_->readback(std::move(finish));
            finish(valve_->command(word.c_str()));
        },
        word.empty() ? kTransferMs : kCallMs);
    if (!o) busy();
    if (!o->ok()) fail(o->reason, o->text);
}

void ValveDevice::publish(bool all) {
    const Snapshot& s = valve_->snapshot();
    transferring_ = s.transfer;
    const auto text = [&](const char* name, const QByteArray& now, const QByteArray& before) {
        if (!all && now == before) return;
        QByteArray copy = now;
        char* p = copy.data();
        const Locked guard(*this, name);
        push_change_event(name, &p);
        push_archive_event(name, &p);
    };
    try {
        text("ControllerState", s.state, pushed_.state);
        text("Uptime", s.uptime, pushed_.uptime);
        text("AutoArm", s.autoarm, pushed_.autoarm);
        text("LastMessage", s.lastmessage, pushed_.lastmessage);
        text("Link", s.link().toUtf8(), pushed_.link().toUtf8());
        if (all || tangostate(s) != tangostate(pushed_)) {
            set_state(tangostate(s));
            push_change_event("State");
            push_archive_event("State");
        }
        if (all || s.status() != pushed_.status()) {
            set_status(s.status().toStdString());
            push_change_event("Status");
            push_archive_event("Status");
        }
    } catch (const Tango::DevFailed& e) {
        Tango::Except::print_exception(e);
    }
    pushed_ = s;
}

void ValveDevice::pushtable(const Waveform& table) {
    Waveform copy = table;
    try {
        const Locked guard(*this, "Waveform");
        push_change_event("Waveform", copy.data(), kWaveformLength);
        push_archive_event("Waveform", copy.data(), kWaveformLength);
    } catch (const Tango::DevFailed& e) {
        Tango::Except::print_exception(e);
    }
}

ValveClass::ValveClass(std::string& name) : Tango::DeviceClass(name) {
    set_type(name);
}

ValveClass* ValveClass::init(const char* name) {
    static ValveClass* the = nullptr;  // Tango deletes its classes itself
    if (!the) {
        std::string s(name);
        the = new ValveClass(s);
    }
    return the;
}

void ValveClass::attribute_factory(std::vector<Tango::Attr*>& attrs) {
    attrs.push_back(new TextAttr("ControllerState",
                                 "The state field of the controller's last status line, as "
                                 "received (stop, standby, armed, load, generate); empty when "
                                 "not known"));
    attrs.push_back(new TextAttr("Uptime",
                                 "The uptime field of the last status line, as received; empty "
                                 "when not known",
                                 "s"));
    attrs.push_back(new TextAttr("AutoArm",
                                 "The auto-arm field of the last status line, as received (on, "
                                 "off); empty when not known"));
    attrs.push_back(new TextAttr("LastMessage",
                                 "The newest free-text line from the controller, with control "
                                 "characters and backslashes escaped"));
    attrs.push_back(new TextAttr("Link",
                                 "The port as opened and its condition: opening, open, closed, "
                                 "lost, reopening"));
    attrs.push_back(new WaveformAttr());
}

void ValveClass::command_factory() {
    for (const auto& [name, word] : {std::pair{"Arm", "arm"},
                                     {"AutoArmOn", "auto_arm_on"},
                                     {"AutoArmOff", "auto_arm_off"},
                                     {"Shoot", "shoot"},
                                     {"Standby", "standby"},
                                     {"Stop", "stop"},
                                     {"ReadBack", ""}})
        command_list.push_back(new WordCmd(name, word));
    for (Tango::Command*& c : command_list)
        if (c->get_lower_name() == "init") c = new GuardedInit(c);
}

void ValveClass::device_factory(const Tango::DevVarStringArray* names) {
    for (CORBA::ULong i = 0; i < names->length(); ++i) {
        auto* dev = new ValveDevice(this, std::string((*names)[i]));
        device_list.push_back(dev);
        if (Tango::Util::_UseDb && !Tango::Util::_FileDb)
            export_device(dev);
        else
            export_device(dev, dev->get_name().c_str());
    }
}

}  // namespace gaspuff::tango

// Tango asks the server for its classes by this name.
void Tango::DServer::class_factory() {
    add_class(gaspuff::tango::ValveClass::init("GasPuffValve"));
}
