#pragma once

class UsbBackend;

// The backend in force until someone calls SetUsbBackend: the one that reaches
// real devices on this platform.
UsbBackend& DefaultUsbBackend();
