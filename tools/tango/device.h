// SPDX-License-Identifier: MIT
#pragma once
// The Tango device class GasPuffValve: one valve controller on one line.
#include <tango.h>

#include <QPointer>
#include <atomic>
#include <mutex>

#include "valve.h"

namespace gaspuff::tango {

// How the controller's state shows as a Tango state.
Tango::DevState tangostate(const Snapshot& s);

class ValveDevice : public Tango::Device_4Impl {
  public:
    ValveDevice(Tango::DeviceClass* cl, const std::string& name);
    ~ValveDevice() override;

    void init_device() override;
    void delete_device() override;
    Tango::DevState dev_state() override;
    Tango::ConstDevString dev_status() override;
    void read_attr_hardware(std::vector<long>& attrs) override;

    // Throws while a transfer runs.
    void checkinit() const;
    void readattr(Tango::Attribute& attr);
    void writewaveform(Tango::WAttribute& attr);
    // A controller command word; empty for the read-back.
    void run(const std::string& word);

  private:
    Snapshot snapshot();
    QPointer<Valve> valve();
    // On the owner thread: pushes an event for each thing that changed.
    void publish(const Valve& v, bool all);
    void pushtable(const Waveform& table);

    std::mutex lock_;  // guards valve_ itself, never held while waiting
    QPointer<Valve> valve_;
    Snapshot pushed_;                         // owner thread only
    std::atomic<bool> transferring_ = false;  // set on the owner thread
};

class ValveClass : public Tango::DeviceClass {
  public:
    static ValveClass* init(const char* name);

    void attribute_factory(std::vector<Tango::Attr*>& attrs) override;
    void command_factory() override;
    void device_factory(const Tango::DevVarStringArray* names) override;

  private:
    explicit ValveClass(std::string& name);
};

}  // namespace gaspuff::tango
