// SPDX-License-Identifier: MIT
#pragma once
// The Tango device class GasPuffValve: one valve controller on one line.
#include <tango.h>

#include <atomic>

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
    // On the owner thread: pushes an event for each thing that changed.
    void publish(bool all);
    void pushtable(const Waveform& table);

    // The owner thread's alone: requests reach them through it.
    Valve* valve_ = nullptr;
    Snapshot pushed_;
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
