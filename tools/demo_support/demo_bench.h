#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "virtual_orvo.h"

class CDfuDevice;

// What can go wrong in the next update cycle of the demo.
enum class DemoFault {
    None,
    ServerDown,      // the update server does not answer
    HtmlAnswer,      // the server sends an HTML page instead of a database
    DeviceError,     // the Orvo reports an error in the middle of the write
    UnplugMidWrite,  // the Orvo is pulled out in the middle of the write
    SilentCorruption,  // the Orvo stores one block of the database wrong and says nothing
    JunkAnswer,        // the server sends random bytes instead of a database
    BusyForever,       // the Orvo stays busy for ever in the middle of the write
    SlowUsb,           // every descriptor read takes 200 ms; the cycle still succeeds
};

const char* DemoFaultName(DemoFault fault);

// Every fault with its command-line name (--fault NAME), in the order the
// bench window lists them; the help and the window are built from it.
struct DemoFaultOption {
    const char* option;
    DemoFault fault;
};
std::span<const DemoFaultOption> DemoFaultOptions();

// The simulated world the demo's updater runs against: a virtual USB bus
// with virtual Orvos and the simulated update server, all in this process.
class DemoBench {
public:
    virtual ~DemoBench() = default;

    // Whether the simulated device and server are built into this program.
    virtual bool Available() const = 0;
    // What is missing when not Available().
    virtual std::string Missing() const = 0;

    // Plugs a virtual Orvo with that serial (7 characters); false when it
    // could not be plugged (bad serial, already plugged, no bus).
    virtual bool Plug(const std::string& serial) = 0;
    virtual void Unplug(const std::string& serial) = 0;
    virtual std::vector<std::string> Plugged() const = 0;

    // The fault the next cycle meets; it is used up by that cycle. Slow USB
    // is the Orvo's: one plugged in (or already plugged) while it is chosen
    // stays slow until it is unplugged.
    virtual void SetNextFault(DemoFault fault) = 0;
    virtual DemoFault NextFault() const = 0;

    // Keeps the flash of the virtual Orvo with `serial` in `path` (the
    // format of orvo-tool --virtual=FILE): loaded when plugged, saved when
    // unplugged. An empty serial: every Orvo without a file of its own.
    virtual void KeepFlashIn(const std::string& serial, const std::string& path) = 0;

    // The worker's settings save, which it makes right before each download,
    // extended to put the next cycle's fault in place. Called once, before
    // the updater starts.
    virtual std::function<void()> ArmingFaults(std::function<void()> saveSettings) = 0;
    // Where the updater downloads from: the bench's server, or for the
    // server-down fault an address where nothing answers.
    virtual std::function<std::string()> ServerHost() = 0;
    // The device object, on the simulated bus's engine and the server; it
    // must not outlive the bench.
    virtual std::unique_ptr<CDfuDevice> MakeDevice(const std::string& programPath) = 0;

    // Called on the UI thread now and then: takes devices that pulled
    // themselves out (the unplug fault) off the bus.
    virtual void Poll() = 0;
};

struct DemoBenchOptions {
    std::size_t records = 20000;  // database size the server answers
    OrvoTiming timing;            // how fast the virtual Orvos are
};

std::unique_ptr<DemoBench> MakeDemoBench(const DemoBenchOptions& options);
